// In/out arguments of the public methods: a ByRef<T> refers to the caller's variable when one is
// passed, or holds its own value when a default or a temporary is passed. Either way the method
// may write it back, as the automation interface's by-reference parameters allow.
#pragma once

#include <string>
#include <type_traits>
#include <utility>

namespace tabrix {

template <class T>
class ByRef {
 public:
  ByRef(T& variable) : target_(&variable) {}  // NOLINT: implicit by design
  ByRef(const T& value) : own_(value), target_(&own_) {}
  ByRef(T&& value) : own_(std::move(value)), target_(&own_) {}
  template <class U, class = std::enable_if_t<std::is_constructible_v<T, U&&> &&
                                              !std::is_same_v<std::decay_t<U>, T> &&
                                              !std::is_same_v<std::decay_t<U>, ByRef>>>
  ByRef(U&& value) : own_(std::forward<U>(value)), target_(&own_) {}

  ByRef(const ByRef&) = delete;
  ByRef& operator=(const ByRef&) = delete;

  T& operator*() const { return *target_; }
  T* operator->() const { return target_; }
  T& get() const { return *target_; }

 private:
  T own_{};
  T* target_;
};

}  // namespace tabrix
