// Test support: the message of the exception an action raises, so that a
// refusal and its exact text are checked in one assertion.
#pragma once

#include <string>

#include "exceptions.h"

/// Runs `action` and answers the Message() of the exception of type E it
/// raises, or "<no error>" when it raises none. Exceptions of other types
/// propagate, so a test also notices a refusal of the wrong kind.
template <class E = EDatabaseError, class F>
std::string ErrorOf(F action) {
  try {
    action();
  } catch (const E& error) {
    return error.Message();
  }
  return "<no error>";
}
