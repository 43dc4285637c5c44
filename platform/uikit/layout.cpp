#include "platform/uikit/layout.h"

#include <vector>

#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/uikit/main_thread.h"
#include "platform/uikit/view.h"

namespace platform {

namespace {

struct LayoutState {
  std::vector<std::weak_ptr<NSLayoutConstraint>> pending;  // main thread only
  bool passScheduled = false;
};

LayoutState& state() {
  return *Process::current().shared<LayoutState>([] { return std::make_shared<LayoutState>(); });
}

}  // namespace

NSLayoutConstraint::NSLayoutConstraint(double constant, std::optional<std::string> identifier)
    : constant_(constant), applied_(constant), identifier_(std::move(identifier)) {}

double NSLayoutConstraint::constant() const {
  requireMainThread("NSLayoutConstraint::constant");
  return constant_;
}

void NSLayoutConstraint::setConstant(double constant) {
  requireMainThread("NSLayoutConstraint::setConstant");
  constant_ = constant;
  if (applied_ == constant_) return;
  auto& s = state();
  s.pending.push_back(weak_from_this());
  if (s.passScheduled) return;
  s.passScheduled = true;
  DispatchQueue::main().async([] { detail::layoutPass(); });
}

double NSLayoutConstraint::appliedConstant() const {
  requireMainThread("NSLayoutConstraint::appliedConstant");
  return applied_;
}

bool NSLayoutConstraint::isActive() const { return active_; }

void NSLayoutConstraint::setActive(bool active) {
  requireMainThread("NSLayoutConstraint::setActive");
  active_ = active;
}

std::shared_ptr<UIView> NSLayoutConstraint::view() const { return view_.lock(); }

void NSLayoutConstraint::applyLayout() { applied_ = constant_; }

namespace detail {

void layoutPass() {
  auto& s = state();
  s.passScheduled = false;
  auto pending = std::move(s.pending);
  s.pending.clear();
  for (auto& w : pending)
    if (auto c = w.lock()) c->applyLayout();
}

}  // namespace detail

}  // namespace platform
