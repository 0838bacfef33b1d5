#pragma once
// Files written from the command line (--export-png and every other command
// that writes a file) follow one set of rules:
//   - a regular file is written completely under a temporary name beside it
//     and renamed over it only then, so a failure leaves the old file (or no
//     file) and never a partial one; a link to a regular file is followed
//     and its target replaced that way, a link to nothing is refused;
//   - a FIFO or a character device (a pipe, /dev/stdout) is written into as
//     a stream, never replaced; a FIFO nobody reads from is refused;
//   - anything else (a folder, a socket, a block device) is refused;
//   - an output that is one of the job's input files (the same file, also
//     through a link, a hard link or another spelling) is refused, and the
//     input is left byte for byte.
//
// TCommandLineJob owns what one such command keeps on disk while it runs:
// a private work folder "export-XXXXXX" in the program's temporary folder and
// the temporary file of the output. Both are removed when the job ends, also
// when SIGINT, SIGTERM or SIGHUP end the process; folders of earlier jobs
// whose process has gone are removed when the next job begins.
//
//   TCommandLineJob job;
//   if (!job.Begin(error)) ...;
//   TOutputFile out(outPath, {projectPath});
//   if (!out.Open(error)) ...;              // refused before any work is done
//   ... render, using job.WorkFolder() ...
//   out.File().write(bytes);                // or give a writer out.TempPath()
//   if (!out.Commit(error)) ...;

#include <QFile>
#include <QString>
#include <QStringList>

#include <sys/types.h>

class TOutputFile {
public:
  explicit TOutputFile(QString path, QStringList inputs = {});
  ~TOutputFile();  // an output not committed leaves nothing behind
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // Checks the output against the rules and creates the temporary file that
  // receives what is written. False with a message when the output is refused.
  bool Open(QString& error);
  // The temporary file, open for writing, and its path (for writers that
  // want a file name; they may replace the file under that name).
  QFile& File() { return m_temp; }
  QString TempPath() const { return m_tempPath; }
  // True when the output is written as a stream (FIFO, character device).
  bool IsStream() const { return m_stream; }
  // Puts the written content in place: renames the temporary file over a
  // regular output, or copies it into a stream.
  bool Commit(QString& error);

private:
  void Discard();

  QString m_path;     // as given
  QString m_target;   // the file that is replaced (links resolved)
  QStringList m_inputs;
  QString m_tempPath;
  QFile m_temp;
  int m_cleanupSlot = -1;
  mode_t m_mode = 0644;
  bool m_stream = false;
  bool m_open = false;
};

// What must go when a signal ends the process. A file or a folder (with all
// it holds) named here is removed by RunSignalCleanups(), which calls only
// async-signal-safe functions and so may run in a signal handler. Returns the
// slot to give to DropSignalCleanup once the path is gone or kept, or -1 when
// every slot is taken.
int AddSignalCleanup(const QString& path, bool folder);
void DropSignalCleanup(int slot);
void RunSignalCleanups();

// Open, write and commit in one step.
bool WriteOutputFile(const QString& path, const QByteArray& bytes, const QStringList& inputs, QString& error);

class TCommandLineJob {
public:
  TCommandLineJob();
  ~TCommandLineJob();  // removes the work folder, gives the signals back
  TCommandLineJob(const TCommandLineJob&) = delete;
  TCommandLineJob& operator=(const TCommandLineJob&) = delete;

  // Removes the folders of ended jobs, makes this job's work folder and
  // installs the handlers that clean up on SIGINT, SIGTERM and SIGHUP.
  bool Begin(QString& error);
  QString WorkFolder() const { return m_folder; }

  // Removes the "export-*" folders in `temporaryFolder` that no running job
  // holds (a job holds its folder with a lock on it for its whole life).
  static void RemoveEndedJobFolders(const QString& temporaryFolder);

private:
  QString m_folder;
  int m_folderFd = -1;
  int m_cleanupSlot = -1;
  bool m_handlers = false;
};
