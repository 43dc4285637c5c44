#include "platform/services/mail_compose.h"

#include "platform/foundation/process.h"

namespace platform {

bool MFMailComposeViewController::canSendMail() { return Process::current().device().profile().canSendMail; }

}  // namespace platform
