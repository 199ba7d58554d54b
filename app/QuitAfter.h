#pragma once
// `--quit-after`: the window closes without questions when the time is up,
// also from an open box or during a run (which is aborted first). Nothing
// measured is lost: a session that was never saved keeps its journal in the
// recovery folder, and the program names it as it ends.
class MainWin;

namespace QuitAfter {

// Closes `w` without questions (a run under way is aborted first and the
// window closes when it ended); the caller then ends the event loop.
void quit(MainWin& w);

} // namespace QuitAfter
