#pragma once

// Lets a short-lived process keep freed memory for reuse instead of handing
// it back to the kernel between steps.
//
// The configuration modes parse, edit and write a settings document of up to
// 4 MiB several times in a row; returning the freed pages and faulting them
// in again costs about a tenth of such a run. The process ends moments
// later, so holding on to the memory costs nothing.

namespace notch {

void keepFreedMemoryForReuse();

} // namespace notch
