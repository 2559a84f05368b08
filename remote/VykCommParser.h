// The control byte protocol's frame parser: one global state, fed one byte at a time.
#pragma once

/// Feeds one received byte to the parser (only one thread may feed it at a time).
void VYKCommParseByte(unsigned char byte);
