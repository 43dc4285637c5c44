#pragma once

// The store's review prompt lives beside the haptics.
#include "platform/services/feedback.h"
