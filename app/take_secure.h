// take_secure.h - securing the loop before it is let go or read whole: the close, n, a
// load and e first wait for the loop to settle (a recording's fade and a stop's run-out
// write into it for about 0.1 s after they end), then for its write: the session take
// when the loop changed since the last one (again when it changed while written), or
// the export. One record and one step serve every caller.
// Threads: UI thread only; the writers run on their own threads.
// Depends on: app/app_state.h, app/loop_export.h, app/session_take.h, app/toast.h,
//             audio/engine.h, audio/looper.h.
#pragma once
#include <cstdint>

struct AppState;
struct TakeSecure;
struct TakeSettle;

// Starts watching the loop settle. It only watches: a recording still running is the
// caller's to end first (transport_end_take).
void take_settle_begin(AppState* app, TakeSettle* s);
// Whether the loop has stopped changing: two audio blocks have ended without writing
// it, no stream runs, or the wait has lasted long enough for a stalled stream.
bool take_settle_done(AppState* app, TakeSettle* s);

// Begins securing the loop: settling first when settle, then the session take's write
// (to_export: the export's write instead).
void take_secure_begin(AppState* app, TakeSecure* s, bool settle, bool to_export);
// The next step; the state it is in afterwards (TAKE_SECURE_*). Done once the take is
// in place, there was nothing to write, or the export ended (its toast says how);
// failed when the session take's write failed or could not begin ("TAKE NOT SAVED").
// Never blocks.
uint8_t take_secure_step(AppState* app, TakeSecure* s);
