#pragma once
// The command-line option table: "-name value" or "/name value" pairs read
// from a command line into fixed slots.

struct OptionSlot {
  char name[64];     // without its marker, at most 63 characters
  char value[2000];  // without quotes, at most 1999 characters; empty if none
};
static_assert(sizeof(OptionSlot) == 2064, "a slot is a 64-byte name and a 2000-byte value");

// An OptionTable is a caller-owned array of slots.
using OptionTable = OptionSlot;

// A zero-filled table of count slots, or nullptr (count < 1, or no memory),
// which every other call reads as a table without options.
OptionTable *NewOptionTable(int count);
void FreeOptionTable(OptionTable *table);

// Fills the table from text; with skipProgramPath the text is a whole process
// command line whose program path (found by the running module's file name)
// is passed over. Returns how many leading slots hold options.
int ParseCommandLine(const char *text, bool skipProgramPath, OptionTable *table, int capacity);

// The value of the first option called name (case-blind for A-Z), or nullptr.
const char *FindOption(const char *name, const OptionTable *table, int count);

// ParseCommandLine with the module's full file name given instead of asked
// from the system (nullptr: nothing to skip). Portable, for tests and fuzzers.
int ScanCommandLine(const char *text, const char *moduleFileName, OptionTable *table, int capacity);
