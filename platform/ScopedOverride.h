#pragma once
// Installs a replacement for one of the program's swappable services (prompter, dialogs) for the
// lifetime of a scope and puts the previous one back at its end; tests use it to script answers.

namespace platform {

template <typename T, T& (*Current)(), void (*Install)(T*)>
class ScopedOverride {
 public:
  explicit ScopedOverride(T& replacement) : previous_(&Current()) { Install(&replacement); }
  ~ScopedOverride() { Install(previous_); }
  ScopedOverride(const ScopedOverride&) = delete;
  ScopedOverride& operator=(const ScopedOverride&) = delete;

 private:
  T* previous_;
};

}  // namespace platform
