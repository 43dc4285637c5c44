#pragma once

// The review-prompt gate of the application.
class Utils {
 public:
  Utils() = delete;

  static constexpr const char kLaunchCountKey[] = "App_Launch_Count";
  static constexpr const char kThresholdKey[] = "u.f.e";

  // Whether to request the store's review prompt now: at most once per run, and only after as
  // many checks without asking as the remote threshold "u.f.e" says. Counts its checks in the
  // standard user defaults. Main queue only.
  static bool shouldAskForReview();
  // Whether the gate has answered true in this process.
  static bool hasAskedForReview();
};
