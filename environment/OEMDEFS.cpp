// Branding values: defaults, replaced by the keys of oeminfo.dat.
#include "OEMDEFS.h"

#include <string>

#include "LANTools.h"
#include "environment_internal.h"
#include "inifile.h"

namespace {

TBranding gBranding;
std::string gIconFile;

struct TKey {
  const char* Name;
  std::string TBranding::*Member;
  const char* Default;
};

// Contact data of the delivering company. No telephone or fax line is
// published by default; a branding file supplies its own.
const TKey kKeys[] = {
    {"OEMCOMPANY", &TBranding::OEMCOMPANY, "Seavane GmbH"},
    {"OEMCOMPSHORT", &TBranding::OEMCOMPSHORT, "Seavane"},
    {"OEMSUPPORTCOMPANY", &TBranding::OEMSUPPORTCOMPANY, "Seavane GmbH"},
    {"OEMSUPPORTADDRESS", &TBranding::OEMSUPPORTADDRESS, "Seavane GmbH"},
    {"OEMSUPPORTPHONE", &TBranding::OEMSUPPORTPHONE, ""},
    {"OEMSUPPORTFAX", &TBranding::OEMSUPPORTFAX, ""},
    {"OEMSUPPORTEMAIL", &TBranding::OEMSUPPORTEMAIL, "support@seavane.example"},
    {"OEMSUPPORTWEB", &TBranding::OEMSUPPORTWEB, "https://www.seavane.example"},
    {"OEMROOTKEY", &TBranding::OEMROOTKEY, "Seavane"},
    {"OEMFAMILYNAME", &TBranding::OEMFAMILYNAME, "Seavane Fleet"},
};

// The modules of the family, in the order of OEMMODULENAME1 ... 14.
const char* const kModuleDefaults[14] = {
    "Fleet Manager", "Vehicle Records", "Driver Records", "Fuel Cards",    "Trip Log",
    "Maintenance",   "Tyres",           "Damage Claims",  "Fines",         "Leasing",
    "Cost Centres",  "Reports",         "Exchange Rates", "Administration"};

static_assert(std::size(kKeys) + 14 == OemKeyCount);

}  // namespace

const TBranding& Branding() {
  return gBranding;
}
const std::string& ShortCompanyName() {
  return gBranding.OEMCOMPSHORT;
}
const std::string& RegistryRootKey() {
  return gBranding.OEMROOTKEY;
}
const std::string& OemIconFile() {
  return gIconFile;
}

void LoadBranding() {
  gBranding = TBranding();
  for (const TKey& key : kKeys) gBranding.*key.Member = key.Default;
  for (int i = 0; i < 14; ++i) gBranding.OEMMODULENAME[i] = kModuleDefaults[i];

  const std::string folder = ProgramFolder();
  const std::string icon = CaselessPath(folder + "oem.ico");
  gIconFile = FileExists(icon) ? icon : std::string();

  inifile::TIniData data;
  if (!inifile::Load(CaselessPath(folder + "oeminfo.dat"), data)) return;
  // A key that is present replaces the default, also with an empty value.
  for (const TKey& key : kKeys)
    if (auto v = inifile::Find(data, "OEM", key.Name))
      gBranding.*key.Member = TruncateChars(*v, 399);
  for (int i = 0; i < 14; ++i)
    if (auto v = inifile::Find(data, "OEM", "OEMMODULENAME" + std::to_string(i + 1)))
      gBranding.OEMMODULENAME[i] = TruncateChars(*v, 399);
}

void FinishBranding() {
  gBranding = TBranding();
  gIconFile.clear();
}
