#pragma once

#include <chrono>
#include <functional>

// Told while a step waits for the database server: how long it has waited so far (from about 0.3 s on,
// several times a second), and once more with `finished` when the answer came or the step gave up. The
// window that started the step uses it to say that it waits, since the step holds its thread until then.
using ServerWaitObserver = std::function<void(std::chrono::milliseconds waited, bool finished)>;

// How long a step waits for the server's answer before it fails: 10 s, or CJ_SERVER_ANSWER_MS.
std::chrono::milliseconds ServerAnswerTime();

// A wait shorter than this is not reported: most answers come within milliseconds.
inline constexpr std::chrono::milliseconds kServerWaitShownAfter{300};
