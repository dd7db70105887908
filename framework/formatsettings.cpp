// The process-wide format settings object.
#include "formatsettings.h"

TFormatSettings& FormatSettings() {
  // Created on first use, so static initialisers of other units may format.
  static TFormatSettings settings;
  return settings;
}
