#pragma once
// At start-up: offers the journals that ended programs left in the recovery
// folder ("Recover the unsaved measurement of <date>, N scans?"). Yes opens
// one as a modified, unsaved session that keeps its journal until saved or
// discarded; No leaves it for the next start; Discard deletes it.
class MainWin;

namespace RecoveryOffer {

// The number of sessions recovered. Boxes go through the prompter.
int run(MainWin& w);

} // namespace RecoveryOffer
