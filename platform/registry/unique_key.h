#pragma once
// Move-only owner of an HKEY, closed when it goes out of scope.

#include "platform/registry/registry.h"

class UniqueKey {
 public:
  UniqueKey() = default;
  explicit UniqueKey(HKEY key) : key_(key) {}
  UniqueKey(UniqueKey&& o) noexcept : key_(o.release()) {}
  UniqueKey& operator=(UniqueKey&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;
  ~UniqueKey() { reset(); }

  HKEY get() const { return key_; }
  // For the out-parameter of RegOpenKeyExA / RegCreateKeyExA.
  HKEY* put() {
    reset();
    return &key_;
  }
  explicit operator bool() const { return key_ != nullptr; }
  HKEY release() {
    HKEY k = key_;
    key_ = nullptr;
    return k;
  }
  void reset(HKEY key = nullptr) {
    if (key_) RegCloseKey(key_);
    key_ = key;
  }

 private:
  HKEY key_ = nullptr;
};
