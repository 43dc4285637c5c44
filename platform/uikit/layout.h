#pragma once

#include <memory>
#include <optional>
#include <string>

namespace platform {

class UIView;

// A layout constraint reduced to what screens change: its constant. A new constant takes effect
// (appliedConstant) when its view is laid out: at once through layoutIfNeeded, otherwise at the
// layout pass that ends the current turn of the main queue. Main thread only.
class NSLayoutConstraint : public std::enable_shared_from_this<NSLayoutConstraint> {
 public:
  explicit NSLayoutConstraint(double constant = 0, std::optional<std::string> identifier = std::nullopt);
  virtual ~NSLayoutConstraint() = default;

  double constant() const;
  void setConstant(double constant);
  // The constant of the last layout.
  double appliedConstant() const;
  bool isActive() const;
  void setActive(bool active);
  const std::optional<std::string>& identifier() const { return identifier_; }
  // The view holding the constraint, or none.
  std::shared_ptr<UIView> view() const;

  // Applies a pending constant; used by layout.
  void applyLayout();

 private:
  friend class UIView;
  double constant_;
  double applied_;
  bool active_ = true;
  std::optional<std::string> identifier_;
  std::weak_ptr<UIView> view_;
};

namespace detail {
// Runs the layout pass now: every pending constant takes effect.
void layoutPass();
}  // namespace detail

}  // namespace platform
