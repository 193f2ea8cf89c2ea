// While a driver key's access list is widened for the writes, its saved list
// is also kept in the registry, so that a run that ends before the list is
// back (killed, or the power gone) is mended by the next one.
#pragma once

#include <string>

#include "platform/platform.h"
#include "writers/registry_access.h"

namespace cw {

// Below HKEY_LOCAL_MACHINE, under the maker's key (on 64-bit Windows in the
// program's own view, where the completion marker is).
extern const char kSecurityRecordKey[];

// What writing the record did, for its removal.
struct SecurityRecord {
  bool written = false;
  bool createdMakerKey = false;  // the maker's key did not exist before
};

// Writes the saved list of HKLM\path and the path, flushed, in a key only
// SYSTEM and the administrators may change. False, with nothing left behind,
// when that cannot be done or a record is already there (one that could not
// be put back yet): the key must not be widened then.
bool WriteSecurityRecord(Platform& platform, const char* path, const SavedDescriptor& saved,
                         SecurityRecord* record);

// Takes the record away again, and the maker's key when writing the record
// made it and it holds nothing else.
void RemoveSecurityRecord(Platform& platform, const SecurityRecord& record);

// What a run that had not finished left behind, and what became of it.
struct LeftOpenKey {
  bool found = false;     // there was a record
  std::string path;       // the key it names, below HKEY_LOCAL_MACHINE
  bool usable = false;    // it names a driver key and holds a list
  bool restored = false;  // that list is back (or its key is gone), and the record too
  bool keyGone = false;   // the key it names is no longer there
};

// At start: puts back the list a run left widened, and removes its record.
// A record that is not usable (a path outside the drivers' class keys, data
// that is no list) is removed without touching any key; one whose list
// cannot be put back stays for the next run.
LeftOpenKey RestoreLeftOpenKey(Platform& platform);

}  // namespace cw
