// The enumerations the dataset classes share: table, index and field types,
// and the values of the table options. Ordinals are fixed; code may store them.
#pragma once

#include <cstdint>

/// The kind of table a dataset opens. Engine table type codes: NTX 1, CDX 2,
/// ADT 3, VFP 4 (0 lets the dictionary decide).
enum TSdbTableTypes { ttSdbCDX, ttSdbNTX, ttSdbADT, ttSdbDefault, ttSdbVFP };

/// How the active index was chosen.
enum TSdbIndexTypes { ndxNone, ndxIndexName, ndxIndexField, ndxDefault };

/// Record numbers of an indexed dataset: estimated from the key position
/// (slStandard) or counted exactly (slExact).
enum TSdbSequencedLevel { slStandard, slExact };

/// What opening a table does when an index was built under another collation.
enum TIndexCollationMismatchOptions { icmError, icmIgnore, icmReindex };

/// The engine's field type codes; the ordinal is the code minus 1.
enum TSdbFieldTypes {
  SdbfldLOGICAL,
  SdbfldNUMERIC,
  SdbfldDATE,
  SdbfldSTRING,
  SdbfldMEMO,
  SdbfldBINARY,
  SdbfldIMAGE,
  SdbfldVARCHAR,
  SdbfldCOMPACTDATE,
  SdbfldDOUBLE,
  SdbfldINTEGER,
  SdbfldSHORTINT,
  SdbfldTIME,
  SdbfldTIMESTAMP,
  SdbfldAUTOINC,
  SdbfldRAW,
  SdbfldCURDOUBLE,
  SdbfldMONEY,
  SdbfldRESERVED1,
  SdbfldCISTRING,
  SdbfldROWVERSION,
  SdbfldMODTIME,
  SdbfldVARCHAR_FOX,
  SdbfldVARBINARY_FOX,
  SdbfldSYSTEM,
  SdbfldNCHAR,
  SdbfldNVARCHAR,
  SdbfldNMEMO,
};

// -- table options -------------------------------------------------------------

enum TSdbLockTypes { Proprietary, Compatible };
enum TSdbRespectFilters { IGNORE_WHEN_COUNTING, RESPECT_WHEN_COUNTING };
enum TSdbRespectScopes { IGNORE_SCOPES_WHEN_COUNTING, RESPECT_SCOPES_WHEN_COUNTING };
enum TSdbRecordCacheTypes { rcNone, rcStandard, rcAggressive };
enum TSdbAOFTypes { atDynamic, atKeySet, atFixed };
enum TSdbRecordLockingModes { lmPessimistic, lmOptimistic };
enum TSdbTableCachingOption { tcNone, tcReads, tcWrites };
enum TSdbLocateBehavior { lbFastestPossible, lbFindFirst };

/// The character type of a table: ANSI, OEM, or a collation named by its
/// language, family, case and accent behaviour and code page. The engine's
/// character type code is the ordinal + 1.
enum TSdbCharTypes {
  ANSI,
  OEM,
  CZECH_VFP_CI_AS_1250,
  GENERAL_VFP_CI_AS_1250,
  HUNGARY_VFP_CI_AS_1250,
  MACHINE_VFP_BIN_1250,
  POLISH_VFP_CI_AS_1250,
  SLOVAK_VFP_CI_AS_1250,
  MACHINE_VFP_BIN_1251,
  RUSSIAN_VFP_CI_AS_1251,
  DUTCH_VFP_CI_AS_1252,
  GENERAL_VFP_CI_AS_1252,
  GERMAN_VFP_CI_AS_1252,
  ICELAND_VFP_CI_AS_1252,
  MACHINE_VFP_BIN_1252,
  NORDAN_VFP_CI_AS_1252,
  SPANISH_VFP_CI_AS_1252,
  SWEFIN_VFP_CI_AS_1252,
  UNIQWT_VFP_CS_AS_1252,
  GREEK_VFP_CI_AS_1253,
  MACHINE_VFP_BIN_1253,
  GENERAL_VFP_CI_AS_1254,
  MACHINE_VFP_BIN_1254,
  TURKISH_VFP_CI_AS_1254,
  DUTCH_VFP_CI_AS_437,
  GENERAL_VFP_CI_AS_437,
  GERMAN_VFP_CI_AS_437,
  ICELAND_VFP_CI_AS_437,
  MACHINE_VFP_BIN_437,
  NORDAN_VFP_CI_AS_437,
  SPANISH_VFP_CI_AS_437,
  SWEFIN_VFP_CI_AS_437,
  UNIQWT_VFP_CS_AS_437,
  GENERAL_VFP_CI_AS_620,
  MACHINE_VFP_BIN_620,
  POLISH_VFP_CI_AS_620,
  GREEK_VFP_CI_AS_737,
  MACHINE_VFP_BIN_737,
  DUTCH_VFP_CI_AS_850,
  GENERAL_VFP_CI_AS_850,
  ICELAND_VFP_CI_AS_850,
  MACHINE_VFP_BIN_850,
  NORDAN_VFP_CI_AS_850,
  SPANISH_VFP_CI_AS_850,
  SWEFIN_VFP_CI_AS_850,
  UNIQWT_VFP_CS_AS_850,
  CZECH_VFP_CI_AS_852,
  GENERAL_VFP_CI_AS_852,
  HUNGARY_VFP_CI_AS_852,
  MACHINE_VFP_BIN_852,
  POLISH_VFP_CI_AS_852,
  SLOVAK_VFP_CI_AS_852,
  GENERAL_VFP_CI_AS_857,
  MACHINE_VFP_BIN_857,
  TURKISH_VFP_CI_AS_857,
  GENERAL_VFP_CI_AS_861,
  ICELAND_VFP_CI_AS_861,
  MACHINE_VFP_BIN_861,
  GENERAL_VFP_CI_AS_865,
  MACHINE_VFP_BIN_865,
  NORDAN_VFP_CI_AS_865,
  SWEFIN_VFP_CI_AS_865,
  MACHINE_VFP_BIN_866,
  RUSSIAN_VFP_CI_AS_866,
  CZECH_VFP_CI_AS_895,
  GENERAL_VFP_CI_AS_895,
  MACHINE_VFP_BIN_895,
  SLOVAK_VFP_CI_AS_895,
  DANISH_SDB_CS_AS_1252,
  DUTCH_SDB_CS_AS_1252,
  ENGL_AMER_SDB_CS_AS_1252,
  ENGL_CAN_SDB_CS_AS_1252,
  ENGL_UK_SDB_CS_AS_1252,
  FINNISH_SDB_CS_AS_1252,
  FRENCH_SDB_CS_AS_1252,
  FRENCH_CAN_SDB_CS_AS_1252,
  GERMAN_SDB_CS_AS_1252,
  ICELANDIC_SDB_CS_AS_1252,
  ITALIAN_SDB_CS_AS_1252,
  NORWEGIAN_SDB_CS_AS_1252,
  PORTUGUESE_SDB_CS_AS_1252,
  SPANISH_SDB_CS_AS_1252,
  SPAN_MOD_SDB_CS_AS_1252,
  SWEDISH_SDB_CS_AS_1252,
  RUSSIAN_SDB_CS_AS_1251,
  ASCII_SDB_CS_AS_1252,
  TURKISH_SDB_CS_AS_1254,
  POLISH_SDB_CS_AS_1250,
  BALTIC_SDB_CS_AS_1257,
  UKRAINIAN_SDB_CS_AS_1251,
  DUDEN_DE_SDB_CS_AS_1252,
  USA_SDB_CS_AS_437,
  DANISH_SDB_CS_AS_865,
  DUTCH_SDB_CS_AS_850,
  FINNISH_SDB_CS_AS_865,
  FRENCH_SDB_CS_AS_863,
  GERMAN_SDB_CS_AS_850,
  GREEK437_SDB_CS_AS_437,
  GREEK851_SDB_CS_AS_851,
  ICELD850_SDB_CS_AS_850,
  ICELD861_SDB_CS_AS_861,
  ITALIAN_SDB_CS_AS_850,
  NORWEGN_SDB_CS_AS_865,
  PORTUGUE_SDB_CS_AS_860,
  SPANISH_SDB_CS_AS_852,
  SWEDISH_SDB_CS_AS_865,
  MAZOVIA_SDB_CS_AS_852,
  PC_LATIN_SDB_CS_AS_852,
  ISOLATIN_SDB_CS_AS_850,
  RUSSIAN_SDB_CS_AS_866,
  NTXCZ852_SDB_CS_AS_852,
  NTXCZ895_SDB_CS_AS_895,
  NTXSL852_SDB_CS_AS_852,
  NTXSL895_SDB_CS_AS_895,
  NTXHU852_SDB_CS_AS_852,
  NTXPL852_SDB_CS_AS_852,
  TURKISH_SDB_CS_AS_857,
  BOSNIAN_SDB_CS_AS_775,
};

/// The collation name a character type carries ("ANSI", "OEM", or the
/// collation's name; four English and Spanish ones spell their region in
/// parentheses). "" for a value outside the enumeration.
const char* SdbCharTypeName(TSdbCharTypes type);
