// corvina-mdb-reader FILE [PARENT_PID [TABLE]]
//
// Reads an Access (Jet 4) file with libmdb and writes every user table to
// standard output as the stream the program loads its working copy from.
// A program of its own, started with exec: libmdb trusts the file it reads
// and may crash or loop on a damaged one, and a fork of the threaded program
// could inherit a lock some other thread held.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "data/jet/JetReader.h"

int main(int argc, char* argv[]) {
  if (argc < 2 || argc > 4) return 2;
  // A reader left behind by a dying program must not spin on.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (argc >= 3 && ::getppid() != pid_t(std::atol(argv[2]))) return 1;
  // Some damaged catalogs make libmdb allocate without end; the reader must
  // fail, not take the machine's memory with it. A file needs a small
  // multiple of its size at most (one memo value is read whole).
  struct stat st {};
  const rlim_t fileSize = ::stat(argv[1], &st) == 0 ? rlim_t(st.st_size) : 0;
  const rlim_t bytes = (rlim_t(1) << 30) + 4 * fileSize;
  const rlimit limit{bytes, bytes};
  ::setrlimit(RLIMIT_AS, &limit);
  return Jet::streamFile(argv[1], STDOUT_FILENO, argc == 4 ? argv[3] : nullptr);
}
