#pragma once

// Whether a process has ended, as the workspace reports applications
// terminated: no such process, or a zombie that its parent has not reaped
// yet (its windows may linger until the X server notices). Any thread.

namespace notch {

bool processHasEnded(int pid);

} // namespace notch
