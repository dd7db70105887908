// The process-wide login dialog hook.
#include "dblogin.h"

TLoginDialog& LoginDialogHook() {
  static TLoginDialog hook;
  return hook;
}
