#pragma once
// The small exception hierarchy every component raises. Messages are the exact texts the
// components document, so callers and tests can show or compare them as they are.
#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }

 private:
  std::string message_;
};

// A text file that cannot be opened, read or written.
class EInOutError : public Exception {
 public:
  using Exception::Exception;
};

// A text that does not convert to a number.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A failed precondition of a component (for example an archive file that does not exist).
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};
