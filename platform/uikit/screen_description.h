#pragma once

#include <string>

namespace platform {

class UIView;

// What the key window shows, as indented text: the window, the controller on top of its presented
// chain, and under it each visible view with what it shows (label texts, image names, button
// titles, progress, spinner state); a contained controller is named where its view starts.
// Hidden views and views of alpha 0 are left out with everything in them. One view a line:
//
//   UIWindow
//     SecondScreen "Second"
//       UIView#root
//         UILabel#title "Second"
//         UIImageView#logo image "shield"
//
// Main thread only. "no key window" when there is none.
std::string describeScreen();

// One view and its visible subtree, in the same form.
std::string describeView(const UIView& view);

}  // namespace platform
