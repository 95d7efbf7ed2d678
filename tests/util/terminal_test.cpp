// Telling a terminal from the files and pipes output is redirected to.
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

TEST(IsTerminal, TellsATerminalFromAFileAPipeAndNothing) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  EXPECT_TRUE(platform::isTerminal(slave));

  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  EXPECT_FALSE(platform::isTerminal(pipeEnds[0]));
  EXPECT_FALSE(platform::isTerminal(pipeEnds[1]));

  testing::TempFolder folder;
  folder.write("file", "bytes");
  const int file = ::open(folder.at("file").c_str(), O_WRONLY);
  ASSERT_GE(file, 0);
  EXPECT_FALSE(platform::isTerminal(file));

  for (const int descriptor : {master, slave, pipeEnds[0], pipeEnds[1], file}) ::close(descriptor);
  EXPECT_FALSE(platform::isTerminal(slave));  // closed: no longer anything
}

}  // namespace
}  // namespace catpack
