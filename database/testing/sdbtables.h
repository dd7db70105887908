// Test support for datasets on the demo dictionary: connections, open
// tables, and the message or engine code of a failure.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sdbcnnct.h"
#include "sdbtable.h"
#include "sdbtesting.h"

namespace sdbtesting {

/// The demo dictionary with one connection to it; tables open on it.
class TableTest : public DictionaryTest {
 protected:
  void SetUp() override {
    DictionaryTest::SetUp();
    connection = Connect();
  }
  void TearDown() override { connection.reset(); }

  /// A new connection to the dictionary, connected.
  std::unique_ptr<TSdbConnection> Connect() {
    auto c = std::make_unique<TSdbConnection>();
    c->SetLoginPrompt(false);
    c->SetConnectPath(Dictionary());
    c->Connect();
    return c;
  }
  /// A table of the dictionary on `on` (the fixture's connection by default),
  /// opened unless `open` is false.
  std::unique_ptr<TSdbTable> Table(const std::string& name, TSdbConnection* on = nullptr,
                                   bool open = true) {
    auto t = std::make_unique<TSdbTable>();
    t->SetName("tb" + name);
    t->SetSdbConnection(on ? on : connection.get());
    t->SetTableName(name);
    if (open) t->Open();
    return t;
  }
  /// The message of the exception `action` raises ("" when none).
  static std::string ErrorOf(const std::function<void()>& action) {
    return sdbtesting::ErrorOf(action, nullptr, "");
  }
  /// The engine code of the ESDBDatabaseError `action` raises (0 when none).
  static uint32_t CodeOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const ESDBDatabaseError& e) {
      return e.EngineErrorCode();
    }
    return 0;
  }

  std::unique_ptr<TSdbConnection> connection;
};

}  // namespace sdbtesting
