// libFuzzer target over connection strings: parses every input, and connects
// with SdbConnect101 when the data source can only name something inside a
// temporary folder (the working directory, holding a dictionary, a file that
// is no database and a sub-folder). Texts with "/", "\" or ".." are parsed
// only, so no file outside that folder is ever opened or created. Beyond not
// crashing, every failure must answer a code with a text.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "sdbengine.h"
#include "sdbstore.h"

const char* const fuzz::kTarget = "connstr_fuzz";

namespace {

using fuzz::Die;
using fuzz::LastErrorText;

std::string gDir, gPristine;

uint32_t Check(uint32_t rc, const char* call) {
  if (rc != SDB_SUCCESS) LastErrorText(rc, call);
  return rc;
}

void WriteFile(const std::string& name, std::string_view bytes) {
  std::ofstream out(gDir + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) Die("cannot write " + name);
}

// The folder as the set-up left it: inputs may have connected to and so
// changed the dictionary (a catalog, a WAL).
void Restore() {
  std::error_code ec;
  for (const char* f : {"db.add-wal", "db.add-shm", "db.add.lck", "junk.add-wal", "junk.add-shm"})
    std::filesystem::remove(gDir + "/" + f, ec);
  WriteFile("db.add", gPristine);
  WriteFile("junk.add", "this is not a database file\n");
}

struct Setup {
  Setup() {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/connstr_fuzzXXXXXX";
    if (!mkdtemp(tmpl.data())) Die("no temporary folder");
    gDir = tmpl;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(gDir, ec);
    });
    std::filesystem::create_directory(gDir + "/sub");
    std::string dict = gDir + "/db.add";
    {
      sdbstore::OpenOptions create;
      create.create = true;
      auto db = sdbstore::Database::Open(dict, create);
      db->CreateUser("fuzz", "pw");
    }
    std::ifstream in(dict, std::ios::binary);
    gPristine.assign(std::istreambuf_iterator<char>(in), {});
    // Relative data sources resolve inside the folder.
    if (::chdir(gDir.c_str()) != 0) Die("cannot enter the temporary folder");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    sdbstore::ConnectString cs = sdbstore::ParseConnectString(text);
    cs.Get("Data Source");
    cs.Get("x");
  } catch (const sdbstore::StoreError& e) {
    if (e.code() != sdbstore::kErrConnectString) Die("the parser failed with another code");
  }
  if (text.find('\0') != std::string_view::npos || text.find('/') != std::string_view::npos ||
      text.find('\\') != std::string_view::npos || text.find("..") != std::string_view::npos)
    return 0;
  Restore();
  std::string z(text);
  SDBHANDLE conn = 0;
  if (Check(SdbConnect101(z.c_str(), &conn), "SdbConnect101") == SDB_SUCCESS) {
    char name[64], date[32], time[32];
    uint16_t nameLen = sizeof name, dateLen = sizeof date, timeLen = sizeof time;
    uint32_t ms = 0;
    Check(SdbGetServerName(conn, name, &nameLen), "SdbGetServerName");
    Check(SdbGetServerTime(conn, date, &dateLen, &ms, time, &timeLen), "SdbGetServerTime");
    double julian = 0;
    Check(SdbConvertDateToJulian(conn, "01/31/2020", 10, &julian), "SdbConvertDateToJulian");
    Check(SdbDisconnect(conn), "SdbDisconnect");
  }
  return 0;
}
