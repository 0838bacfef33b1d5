#pragma once
// Keeps the program to one running copy per user: a lock file in the
// program's temporary folder, named after the program file, locked (flock)
// for the life of the process. The system drops the lock when the process
// ends however it ends, so a lock file left behind, empty or holding
// anything, never keeps a later start from happening.

#include <QString>

class TSingleInstance {
public:
  enum TResult {
    Acquired, // this process is the one running copy
    Running,  // another running copy holds the lock
    Failed,   // the lock file can not be used (see the error)
  };

  TSingleInstance() = default;
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // Takes the lock "<folder>/<programName>.lock". A lock file that no
  // running copy holds is taken over; one that can not be opened as a file
  // (a folder or a link in its place) gives Failed with a message naming it.
  TResult Lock(const QString& folder, const QString& programName, QString& error);
  // True when this process now holds the lock.
  bool TryLock(const QString& folder, const QString& programName);
  bool Locked() const { return m_fd >= 0; }

private:
  int m_fd = -1;
};
