// Texts that more than one part of the program shows: the window title's prefix, the caption of
// every message box and the file-system error (in a box at start-up, as an outcome after a join).
#pragma once

static const char ProgramCaption[] = "Tarnovell!";
static const char TitlePrefix[] = "Tarnovell! - ";
static const char FileSystemErrorText[] = "Ошибка файловой системы!";
// A path longer than the program's room for one (its own, or a choice in a file dialog).
static const char PathTooLongText[] = "Слишком длинный путь к файлу!";
