// Pseudo-terminal sessions: the interactive tests drive their programs
// through these.
#include <gtest/gtest.h>

#include "testsupport/pty.h"

using testsupport::PtySession;

TEST(Pty, ProgramSeesATerminal) {
    PtySession s;
    ASSERT_TRUE(s.start({"sh", "-c", "test -t 0 && echo tty; read x; echo got:$x"}));
    EXPECT_TRUE(s.expect("tty"));
    s.send("hello\n");
    EXPECT_TRUE(s.expect("got:hello"));
    EXPECT_EQ(s.wait(), 0);
}
