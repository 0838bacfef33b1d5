#include "shell/SingleInstance.h"

#include <QLockFile>

TSingleInstance::TSingleInstance() = default;

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::TryLock(const QString& folder, const QString& programName)
{
  m_lock = std::make_unique<QLockFile>(folder + '/' + programName + QStringLiteral(".lock"));
  // Never taken over by age: only a lock whose process is gone is stale.
  m_lock->setStaleLockTime(0);
  if (m_lock->tryLock(0)) return true;
  m_lock.reset();
  return false;
}

bool TSingleInstance::Locked() const
{
  return m_lock && m_lock->isLocked();
}
