// Waiting for slow work without blocking the caller's thread: the work runs on a thread of its own
// while the caller's thread, about every 50 ms, asks whether to go on (so a window can draw progress
// and take "Cancelar"). Shared by the server calls, the client database's statements and the ClickHouse
// connection's requests.
#pragma once

#include <functional>

// Runs `work` (which must not throw) and calls `keepWaiting(seconds since the start)` on the calling
// thread until it finishes. When `keepWaiting` says no and the work has not finished meanwhile,
// `stop` is called on the calling thread and the work is waited for. Returns whether it was stopped.
bool WaitOnThread(const std::function<void()>& work, const std::function<bool(double)>& keepWaiting,
                  const std::function<void()>& stop);
