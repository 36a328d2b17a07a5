#pragma once
// The Ping job: one NOP, the answer compared with 31337, link_state set to 1
// or 0, the operator told. The Ping button, the attach sequence and the
// command line all run this one function.

struct kx_context;

// Returns true when the box answered 31337.
bool doPingJob(kx_context *ctx);
