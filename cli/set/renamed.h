// The pieces of a set that are not where their names say: a container saved under another name
// ("film (1).exe", as browsers save a second download), and a piece a browser saved beside the
// set under a name of its own. OpenPieceSet and the walk over the pieces (pieces.h) ask here.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct PieceSet;

// A container whose own piece 1 is not in its folder, though the set needs it (it was perhaps
// renamed, as "film (1).exe"): the one set in the folder that its digest block vouches for (the
// sizes of its pieces, and the digest of the run of piece 1) becomes its pieces, told on CliErr.
// When none or several fit, or the container has no digest block to tell, says so and suggests
// --pieces-base; the set is then left as it was.
void FindRenamedSet(PieceSet* set);

// Piece n, not in the set's folder under its name, as a browser may have saved it beside the set
// ("docs (1).c002", "docs(2).c002", "docs.c002.download"): the one file under such a name whose
// size and digest are those the digest block gives piece n (a digest of that piece alone), else
// "". The files under such a name that are not taken go into *others.
std::string FindBrowserRenamedPiece(const PieceSet& set, int32_t n,
                                    std::vector<std::string>* others);
