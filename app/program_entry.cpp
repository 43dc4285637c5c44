#include "app/program_entry.h"

#include <optional>
#include <string>

#include "app/app_delegate.h"
#include "app/storyboard_classes.h"
#include "platform/uikit/application.h"

int applicationMain(int argc, char** argv) {
  registerStoryboardClasses();
  platform::registerApplicationDelegateClass<AppDelegate>(AppDelegate::kClassName);
  return platform::UIApplicationMain(argc, argv, std::nullopt, std::string(AppDelegate::kClassName));
}
