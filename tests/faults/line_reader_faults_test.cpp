// LineReader with its buffer allocation failing: an attach that can't get its buffer fails
// with -2 and leaves the reader detached and reusable, reads on it fail as on a detached
// reader, and a reader used for several exchanges in a row leaks nothing whichever
// allocation fails.
#include <gtest/gtest.h>

#include <string>

#include "base/Results.h"
#include "http/LineReader.h"
#include "tests/faults/allocation_sweep.h"
#include "tests/transport/TestStreams.h"

namespace qb::faults {
namespace {

constexpr DWORD kLineCapacity = 64;
const std::string kHeaderBlock = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello";

// Reads the status line and the headers, then the body bytes; "" for any failure.
std::string ReadExchange(LineReader& reader) {
    std::string seen;
    for (;;) {
        char line[kLineCapacity];
        DWORD length = kLineCapacity;
        if (reader.ReadLine(line, &length, nullptr) != kResultOk) return "";
        if (length == 0) break;
        seen += std::string(line, length) + "|";
    }
    char body[16] = {};
    DWORD count = sizeof body;
    reader.ReadBytes(body, &count);
    return seen + std::string(body, count);
}

TEST(LineReaderFaults, EachExchangeSurvivesItsBufferFailing) {
    SweepTally tally;
    for (const DWORD bufferSize : {1u, 7u, 4096u}) {
        Sweep("buffer of " + std::to_string(bufferSize), &tally,
              [&](CountingAllocator& allocator, int failAt) {
                  LineReader reader(&allocator, bufferSize);
                  int attached = 0;
                  allocator.Arm(failAt);
                  // Three exchanges, each on its own source, as the client does per request.
                  for (int exchange = 0; exchange < 3; ++exchange) {
                      ScriptedSource source(kHeaderBlock, 3, SourceEnd::Closed);
                      const int result = reader.Attach(&source);
                      if (result == kResultNoMemory) {
                          char line[kLineCapacity];
                          DWORD length = kLineCapacity;
                          EXPECT_EQ(reader.ReadLine(line, &length, nullptr), kResultFail);
                          char byte = 0;
                          EXPECT_EQ(reader.ReadBytes(&byte, nullptr), kResultFail);
                          EXPECT_EQ(source.reads, 0);
                          EXPECT_EQ(reader.Detach(), kResultOk);
                          continue;
                      }
                      ASSERT_EQ(result, kResultOk);
                      ++attached;
                      EXPECT_EQ(ReadExchange(reader), "HTTP/1.0 200 OK|Content-Length: 5|hello");
                      EXPECT_EQ(reader.Detach(), kResultOk);
                  }
                  // A fourth, left attached: the reader's destruction gives the buffer back.
                  ScriptedSource last(kHeaderBlock, 64, SourceEnd::Closed);
                  const int result = reader.Attach(&last);
                  allocator.Disarm();
                  if (result == kResultOk) ++attached;
                  EXPECT_EQ(attached, allocator.injected() ? 3 : 4);
              });
    }
    Report("LineReader", tally);
}

} // namespace
} // namespace qb::faults
