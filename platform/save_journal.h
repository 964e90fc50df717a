// A journal of the folders where a save is under way, so that a save killed halfway
// leaves nothing behind for good, wherever it went: the next start finds the folder in
// the journal and clears the save's hidden temporary there.
//
// The journal is a folder under the user's state folder ($XDG_STATE_HOME, or
// ~/.local/state), "Quorvane/Sphaerix/saves-under-way", with one small record a save:
// a file named "<pid>-<random>" that holds the folder's path, locked while its save runs
// and removed when the save ends. Records of two programs saving at once never meet.
#pragma once

#include <string>

namespace sphaerix {

// The record of one save, for as long as the object lives. When no record can be written
// (no home, a full or read-only disk) the save goes on without one: only a kill during
// it would then leave its temporary until the next save into that folder.
class TSaveUnderWay {
 public:
  explicit TSaveUnderWay(const std::string& AFolder);
  ~TSaveUnderWay();
  TSaveUnderWay(const TSaveUnderWay&) = delete;
  TSaveUnderWay& operator=(const TSaveUnderWay&) = delete;

  // The record's path, empty when none could be written.
  const std::string& Record() const { return FRecord; }

 private:
  std::string FRecord;
  int FFd = -1;
};

// The journal's folder, or empty when neither XDG_STATE_HOME (absolute) nor a home
// folder is known.
std::string SaveJournalFolder();

// At start: for each record whose save has ended without clearing it (its process is
// gone and holds no lock on it), removes the hidden temporaries of ours in the folder it
// names (by their exact name, and only those no running save holds), then the record.
// Returns the number of records cleared.
int ClearAbandonedSaves();

}  // namespace sphaerix
