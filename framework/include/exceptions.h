// The exception family every layer raises: one Exception base carrying a
// message, and the framework's own database, abort and conversion errors.
#pragma once

#include <exception>
#include <string>

/// Base of every failure the program raises. Message() is the text shown to
/// the user; what() answers the same text.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string message) { FMessage = std::move(message); }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

/// A refusal of the dataset framework or of a database component.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

/// The silent exception: it unwinds an operation and is never shown.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  using Exception::Exception;
};

/// A value that does not convert, such as text that is not a number.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

/// A whole number that does not fit the type that must hold it.
class ERangeError : public Exception {
 public:
  using Exception::Exception;
};

/// Raises the silent abort exception.
[[noreturn]] inline void Abort() {
  throw EAbort();
}

/// A Variant that cannot be converted or indexed as asked.
class EVariantError : public Exception {
 public:
  using Exception::Exception;
};

/// A Variant of one type asked for as another it does not convert to, such
/// as Null as an integer: "Could not convert variant of type (Null) into type
/// (Integer)".
class EVariantTypeCastError : public EVariantError {
 public:
  using EVariantError::EVariantError;
};
