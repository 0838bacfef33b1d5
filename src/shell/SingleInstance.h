#pragma once
// Keeps the program to one running copy per user: a lock file in the
// program's temporary folder, named after the program file, held for the
// life of the process.

#include <QString>

#include <memory>

class QLockFile;

class TSingleInstance {
public:
  TSingleInstance();
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // True when this process now holds the lock "<folder>/<programName>.lock";
  // false when another running copy holds it. A lock left behind by a copy
  // that ended without releasing it is taken over.
  bool TryLock(const QString& folder, const QString& programName);
  bool Locked() const;

private:
  std::unique_ptr<QLockFile> m_lock;
};
