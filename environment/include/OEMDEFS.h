// Branding: the company names, support contacts, product display names and
// registry root word that an optional oeminfo.dat beside the program replaces.
#pragma once

#include <string>

/// The branding values, one member per key of section "OEM" of oeminfo.dat.
/// Empty before LoadBranding and after FinishBranding.
struct TBranding {
  std::string OEMCOMPANY;
  std::string OEMCOMPSHORT;  ///< short company name: title, default folders
  std::string OEMSUPPORTCOMPANY;
  std::string OEMSUPPORTADDRESS;
  std::string OEMSUPPORTPHONE;
  std::string OEMSUPPORTFAX;
  std::string OEMSUPPORTEMAIL;
  std::string OEMSUPPORTWEB;
  std::string OEMROOTKEY;         ///< word under Software\ holding the registry settings
  std::string OEMFAMILYNAME;      ///< display name of the product family
  std::string OEMMODULENAME[14];  ///< display names of the family's modules
};

/// Number of keys read from section "OEM" (OEMMODULENAME1 ... OEMMODULENAME14
/// for the module names).
inline constexpr int OemKeyCount = 24;

/// The values in force. Read-only for everyone but this module.
const TBranding& Branding();

/// Short company name ("Seavane" unless branded).
const std::string& ShortCompanyName();
/// Registry root key word ("Seavane" unless branded).
const std::string& RegistryRootKey();

/// Path of the branding icon oem.ico beside the program, empty when there is
/// none. Loading it is the main window's business.
const std::string& OemIconFile();

/// Module start: takes the defaults, then every key of section "OEM" of
/// oeminfo.dat beside the program that is present (an empty value included).
/// A missing file leaves the defaults.
void LoadBranding();

/// Module finish: clears the values.
void FinishBranding();
