#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/uikit/view_controller.h"
#include "shared_library/settings/settings_row_data.h"

// The address of the FAQ page the settings screen opens.
std::string settingsFAQsLink();

// The application's settings: "SHARE", "HELP", "CONTACT" and "ABOUT" with their nine rows, made
// afresh on every call.
std::vector<std::shared_ptr<SettingsSectionData>> settingsSections();

// Presents the library's settings screen, filled with the application's sections, from
// `presenter` (the home screen). A storyboard without the expected navigation controller and
// settings screen opens nothing. Main thread only.
void showSettings(platform::UIViewController& presenter);
