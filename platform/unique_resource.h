#pragma once
// Move-only owner of a platform handle (registry key, kernel object, ...): closed with
// Close when it goes out of scope or is reset. T{} means "no handle".

#include <utility>

template <typename T, auto Close>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(T value) : value_(value) {}
  UniqueResource(UniqueResource&& o) noexcept : value_(o.release()) {}
  UniqueResource& operator=(UniqueResource&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != T{}; }
  // For an out-parameter such as RegOpenKeyExA's: closes what was held first.
  T* put() {
    reset();
    return &value_;
  }
  T release() { return std::exchange(value_, T{}); }
  void reset(T value = T{}) {
    if (value_ != T{}) Close(value_);
    value_ = value;
  }

 private:
  T value_{};
};
