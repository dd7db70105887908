// TMemoryStream: reading, writing past the end, seeking and copying.
#include "streams.h"

#include <gtest/gtest.h>

TEST(StreamsTest, MemoryStreamGrowsAndSeeks) {
  TMemoryStream stream;
  EXPECT_EQ(stream.Size(), 0);
  stream.WriteAll("hello");
  EXPECT_EQ(stream.Position(), 5);
  stream.Seek(-2, soEnd);
  stream.WriteAll("p!!");  // overwrites the end and grows
  stream.SetPosition(0);
  EXPECT_EQ(stream.ReadAll(), "help!!");
  EXPECT_EQ(stream.Seek(-100, soCurrent), 0);  // clamped at the start
  char buffer[4];
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 4u);
  EXPECT_EQ(std::string(buffer, 4), "help");
  stream.SetSize(2);
  EXPECT_EQ(stream.Position(), 2);
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 0u);
  stream.Seek(3, soBeginning);
  stream.WriteAll("x");  // a gap reads as zero bytes
  stream.SetPosition(0);
  EXPECT_EQ(stream.ReadAll(), std::string("he\0x", 4));
  stream.Clear();
  EXPECT_EQ(stream.Size(), 0);
}

TEST(StreamsTest, CopyFromTakesAllOrACount) {
  TMemoryStream source, target;
  source.WriteAll("0123456789");
  EXPECT_EQ(target.CopyFrom(source), 10);  // all, from the start
  source.SetPosition(2);
  EXPECT_EQ(target.CopyFrom(source, 3), 3);
  target.SetPosition(0);
  EXPECT_EQ(target.ReadAll(), "0123456789234");
  source.SetPosition(9);
  EXPECT_EQ(target.CopyFrom(source, 5), 1);  // only what is there
}
