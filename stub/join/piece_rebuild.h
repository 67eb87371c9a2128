// Pieces rebuilt from the recovery files that lie beside the set (BASE.r01, BASE.r02, ...): a lost
// piece instead of the Open dialog, a damaged one after its copy. A recovery file serves only when
// it describes exactly this set: its header copy is the container's header, its sizes and digests
// are the digest block's (one digest per piece), its self-check holds. A rebuilt piece counts only
// when the bytes written match the block's digest.
//
// The code: file i of the set is in group i mod C at position i / C; every file of a group is
// taken as zero-padded to the group's longest payload; row r of a recovery file holds the group's
// parity by row k + r of ISA-L's Cauchy generator (recovery/gf256.h). A piece is rebuilt from any
// k files and rows of its group that survive, stripe by stripe: each source is read once per
// rebuild, in buffers of RebuildBufferBytes whatever the piece size.
#pragma once

#include <stdint.h>

#include "stub/join/copy_piece.h"
#include "stub/platform/win32.h"

enum : uint32_t {
  RebuildBufferBytes = 8u << 20,  // the stripes of every source and of the rebuilt piece together
};

enum RebuildResult {
  RebuildDone,        // the piece's payload is in the output and matched its digest
  RebuildImpossible,  // too few sources: nothing was written
  RebuildUntrusted,   // the rebuilt bytes missed the digest: the output is cut back to where
                      // the piece begins
  RebuildStopped,     // a file error (JoinState.IoFailed) or a closed window
                      // (JoinState.QuitRequested)
};

// At the start of a join: looks for the recovery files of the set beside JoinState.BasePath.
// Without a valid digest block of one digest per piece, nothing is looked at; without BASE.r01,
// that one failed look-up is all.
void FindRecoveryFiles();
// Some recovery file serves this join.
bool RebuildServes();
// Piece n's payload into the output (JoinState.OutputPath) from byte at: the output is cut there,
// then written stripe by stripe, telling the window after every stripe. Piece n is counted lost
// for every later rebuild.
RebuildResult RebuildPiece(int32_t n, int64_t at, HWND window, BlockCopiedCallback blockCopied);

// The stripe of each source for a group of k files: the buffer holds k of them and the output's.
uint32_t StripeBytes(int32_t k);
