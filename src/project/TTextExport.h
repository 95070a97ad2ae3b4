#pragma once

#include "foundation/VStringList.h"

namespace Tr {

class TPresetHandler;
class TProjectFile;
class TTransList;
class TTransMsg;

// The readable text of a project, a preset or a translator, one entry per line (an entry may
// hold line breaks: multi-line comments). Meant for people; never read back. Each call holds the
// preset lock shared while it reads.
void projectToText(TProjectFile& project, TPresetHandler& presets, Vorn::VStringList& lines);
// index -1: the preset stands alone.
void presetToText(TTransList& preset, int index, Vorn::VStringList& lines);
// index -1: the translator stands alone; presetIndex -1: no preset number in the header.
void translatorToText(const TTransMsg& translator, int index, int presetIndex,
                      Vorn::VStringList& lines);
// The names of a stored port list ("MIDA", a count, the names as text fields) joined with ", ";
// any other text as it is.
Vorn::VString portListText(const Vorn::VString& stored);

} // namespace Tr
