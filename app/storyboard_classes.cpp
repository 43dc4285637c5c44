#include "app/storyboard_classes.h"

#include "app/home_page_view_controller.h"
#include "app/server_cells.h"
#include "app/servers_view_controller.h"
#include "platform/components/badge_label.h"
#include "platform/uikit/storyboard.h"

void registerStoryboardClasses() {
  using platform::UIStoryboard;
  platform::registerComponentClasses();
  UIStoryboard::registerViewControllerClass<HomePageViewController>("HomePageViewController");
  UIStoryboard::registerViewControllerClass<ServersViewController>("ServersViewController");
  UIStoryboard::registerViewClass<ServerListTableViewCell>("ServerListTableViewCell");
  UIStoryboard::registerViewClass<ServerTableViewCell>("ServerTableViewCell");
}
