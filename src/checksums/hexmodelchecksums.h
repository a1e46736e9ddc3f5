#pragma once

#include "checksums/checksummodule.h"

class HexModel;

// The report of the image a hex model holds now.
ChecksumReport checkModel(const HexModel &model);

// Writes the report's corrections through the model, the one writer of a document's image, as
// one change that one undo takes back. Returns how many blocks it corrected (0: nothing
// written, the image is unchanged and stays unmodified).
int correctChecksums(HexModel &model, const ChecksumReport &report);
