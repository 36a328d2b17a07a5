#pragma once
// Exit status of morvaup-cli, as scripts and service benches read it.

enum CliExit : int {
    EXIT_READY = 0,          // box attached and ready, Ping OK
    EXIT_NO_ANSWER = 1,      // the box did not answer (attach or Ping failed)
    EXIT_BAD_ARGUMENTS = 2,
    EXIT_PORT_UNUSABLE = 3,  // missing, in use, no permission, or failed while in use
    EXIT_NO_BOX = 4,         // no box switched on within the wait
    EXIT_BAD_NETWORK = 5,    // PC or box address not usable
};
