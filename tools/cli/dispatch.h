// dispatch.h - runs the command the words name: builds the command line from
// the command table, enforces what the command needs and runs it.
#pragma once

namespace entmlst {

// Returns the exit status; throws a Failure (base/errors.h) for the
// dispatcher's own failures and the command's. runs_program is set once the
// words name a command that runs a program, whose own failures then exit
// 125.
int dispatch(int argc, char **argv, bool &runs_program);

} // namespace entmlst
