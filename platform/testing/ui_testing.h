#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/services/alert_controller.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/ui_records.h"

namespace platform::testing {

// The test side of the current process's user interface: scripted answers and what the
// application asked for. Safe from any thread unless a function says otherwise.

// canOpenURL answers `answer` for exactly this URL from now on, whatever is installed.
void scriptCanOpenURL(const std::string& absoluteURL, bool answer);
// Every canOpenURL question, in order.
std::vector<std::string> canOpenURLQuestions();
std::vector<std::string> openedURLs();
std::vector<long> badgeNumberHistory();
std::vector<detail::UIRecords::Presentation> presentations();
// How long an animated presentation or dismissal takes (0.3 s unless set).
void setTransitionDuration(double seconds);

// Haptic notifications ("success", "warning", "error") and store review requests, with the
// moments they came on the process's clock.
std::vector<detail::UIRecords::Timed> hapticNotifications();
std::vector<Duration> reviewRequests();

// Posts UIApplicationDidBecomeActiveNotification on the default centre, from the calling thread.
void postDidBecomeActive();

// Tables, main thread only. A tap on a row: the table selects it, then tells its delegate.
void tapRow(UITableView& table, NSIndexPath indexPath);
// A row out of sight gets no cell at the next reload.
void setRowVisible(UITableView& table, NSIndexPath indexPath, bool visible);
// deselectRowAtIndexPath calls, with their animated flags.
std::vector<std::pair<NSIndexPath, bool>> deselections(const UITableView& table);
// How many cells wait in the reuse pool under the identifier.
size_t pooledCellCount(const UITableView& table, const std::string& reuseIdentifier);

// A tap on the alert's action of that title: the alert is dismissed, then the handler runs. An
// alert without that action is a programming error. Main thread only.
void tapAlertAction(UIAlertController& alert, const std::string& title);

}  // namespace platform::testing
