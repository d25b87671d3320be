// The one way an operation that can fail says how it went: its value, or the failure's detail.
#pragma once

#include <type_traits>
#include <utility>
#include <variant>

#include "common/failure_detail.h"

namespace vorlanth {

// The outcome of an operation that gives a T: the value, or a FailureDetail saying which object
// failed and why. A result must be looked at: it is [[nodiscard]].
template <typename T>
class [[nodiscard]] Result {
    static_assert(!std::is_same_v<T, FailureDetail>, "a failure is not a value");

  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(FailureDetail failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }

    // Why it failed; only for a result that is not ok().
    const FailureDetail& failure() const& { return std::get<1>(state_); }
    FailureDetail&& failure() && { return std::get<1>(std::move(state_)); }

  private:
    std::variant<T, FailureDetail> state_;
};

// The outcome of an operation that gives nothing but success or a failure.
template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(FailureDetail failure) : failure_(std::move(failure)), ok_(false) {}

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const FailureDetail& failure() const& { return failure_; }
    FailureDetail&& failure() && { return std::move(failure_); }

  private:
    FailureDetail failure_;
    bool ok_ = true;
};

using Status = Result<void>;

}  // namespace vorlanth
