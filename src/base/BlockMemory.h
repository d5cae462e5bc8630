#pragma once

// Fast transfers allocate and free blocks of 64 KiB to 1 MiB many
// thousand times a second (socket buffers, read-ahead batches, blocks
// waiting to be written). With the C library's defaults the freed memory
// is handed back to the system after nearly every block and faulted in
// again for the next one, page by page: that costs more than the copy of
// the data itself. Called once at start, before any thread is made, it
// has such blocks taken from the heap and up to a bounded amount of freed
// memory kept for the next ones (tens of MiB at most).
void KeepBlockMemory();
