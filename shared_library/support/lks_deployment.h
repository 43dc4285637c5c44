#pragma once

// Values fixed when the application is deployed: the web hosts, the store identifiers and the
// support mailbox. Nothing is fetched from these hosts here; they only make addresses.
namespace LKSDeployment {

// The store's public web host, for application pages and the review form.
inline constexpr const char storeWebHost[] = "apps.apple.com";
// The maker's web site: privacy and terms pages, the support pages.
inline constexpr const char makerWebHost[] = "www.orvanevpn.com";
// Used when a screen is given no store identifier; also the application's own.
inline constexpr const char defaultStoreIdentifier[] = "1609457123";
inline constexpr const char supportMailbox[] = "support@orvanevpn.com";

}  // namespace LKSDeployment
