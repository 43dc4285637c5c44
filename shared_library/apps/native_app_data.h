#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

// One of the maker's applications. Shared by the tracker's list, its store look-up and the
// list screen; the look-up fills name, rating and artwork while others read them, so every
// field is read and written under the record's lock.
class NativeAppData {
 public:
  // Runs the installed test once.
  NativeAppData(std::optional<std::string> storeID, std::optional<std::string> bundleID,
                std::optional<std::string> urlScheme);
  NativeAppData(const NativeAppData&) = delete;
  NativeAppData& operator=(const NativeAppData&) = delete;

  std::optional<std::string> name() const;
  void setName(std::optional<std::string> name);
  std::optional<std::string> bundleID() const;
  std::optional<std::string> storeID() const;
  std::optional<std::string> urlScheme() const;
  std::optional<std::string> artworkURL() const;
  void setArtworkURL(std::optional<std::string> url);
  // Rounded to two decimals by the look-up; 0 until then.
  double rating() const;
  void setRating(double rating);

  // Asks the platform afresh whether the device can open `urlScheme` (taken as a URL as it is);
  // when it is not a URL, the last answer (false at first).
  bool isInstalled();

 private:
  mutable std::mutex mutex_;
  std::optional<std::string> name_;
  std::optional<std::string> bundleID_;
  std::optional<std::string> storeID_;
  std::optional<std::string> urlScheme_;
  std::optional<std::string> artworkURL_;
  double rating_ = 0;
  std::atomic<bool> isInstalled_{false};
};
