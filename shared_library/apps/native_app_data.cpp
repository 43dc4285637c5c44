#include "shared_library/apps/native_app_data.h"

#include <utility>

#include "platform/network/url.h"
#include "platform/uikit/application.h"

NativeAppData::NativeAppData(std::optional<std::string> storeID, std::optional<std::string> bundleID,
                             std::optional<std::string> urlScheme)
    : bundleID_(std::move(bundleID)), storeID_(std::move(storeID)), urlScheme_(std::move(urlScheme)) {
  isInstalled();
}

bool NativeAppData::isInstalled() {
  const auto url = platform::URL::parse(urlScheme().value_or(""));
  if (!url) return isInstalled_.load();
  const bool answer = platform::UIApplication::sharedApplication()->canOpenURL(*url);
  isInstalled_.store(answer);
  return answer;
}

std::optional<std::string> NativeAppData::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

void NativeAppData::setName(std::optional<std::string> name) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
}

std::optional<std::string> NativeAppData::bundleID() const {
  std::lock_guard lock(mutex_);
  return bundleID_;
}

std::optional<std::string> NativeAppData::storeID() const {
  std::lock_guard lock(mutex_);
  return storeID_;
}

std::optional<std::string> NativeAppData::urlScheme() const {
  std::lock_guard lock(mutex_);
  return urlScheme_;
}

std::optional<std::string> NativeAppData::artworkURL() const {
  std::lock_guard lock(mutex_);
  return artworkURL_;
}

void NativeAppData::setArtworkURL(std::optional<std::string> url) {
  std::lock_guard lock(mutex_);
  artworkURL_ = std::move(url);
}

double NativeAppData::rating() const {
  std::lock_guard lock(mutex_);
  return rating_;
}

void NativeAppData::setRating(double rating) {
  std::lock_guard lock(mutex_);
  rating_ = rating;
}
