#pragma once

// Reading Access (Jet 4) files with libmdb.
//
// libmdb trusts the file it reads: a damaged page can make it crash or loop.
// So it only ever runs in a program of its own (corvina-mdb-reader), which
// sends what it read as a stream (JetStream.h) to the process that builds the
// working copy (JetMirror.h). Nothing here uses Qt.
//
// A table is sent whole or not at all: the rows read must be the rows its
// definition counts, every page of its page map must be one of its data
// pages, every memo must be complete and the file made of whole pages;
// otherwise an Incomplete message says what is missing.
namespace Jet {

// Table and column names come out of libmdb's own conversion, which follows
// the environment variable MDB_ICONV (UTF-8 when unset).
//
// Sends every user table of the Jet 4 file at path (or only the one named
// onlyTable, in any case), with all its rows, to the file descriptor fd.
// Returns 0 when everything went out, 1 when the file could not be read (a
// Failure message saying why was sent, if fd still took it).
int streamFile(const char* path, int fd, const char* onlyTable = nullptr);

}  // namespace Jet
