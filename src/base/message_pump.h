// Message pumping between pieces of work, so that Cancel, painting and the animation stay
// alive, and the rule that spares looks at the queue coming a moment after the last one.
#pragma once

// Dispatches pending messages; with ms above 0 waits about ms milliseconds doing so.
void PumpMessages(int ms);

// True when a look at the queue between two items is worth its cost now: a look is a round
// trip to the window system, dearer than many removals, and looks closer together than
// kQueueLookIntervalMs tell a person nothing more. Only the work between items (the progress
// display, the load bar) asks; every other pump looks at once, so that a click in a waiting
// wizard is never left in the queue.
bool QueueLookDue();

// Between looks that a busy loop makes, at least this many milliseconds pass.
constexpr unsigned kQueueLookIntervalMs = 40;

// Forgets the last look (the start of a run).
void ResetMessagePump();
