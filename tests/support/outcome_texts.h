// The window's outcome texts as the tests expect them: the Windows-1251 bytes that the program's
// UTF-8 sources compile to, written out byte by byte, so that a wrong charset or a changed word
// shows. The file-system error is also the text of the box when the own image cannot be read.
#pragma once

namespace outcome {

// "Процесс успешно завершен"
const char CompleteText[] =
    "\xCF\xF0\xEE\xF6\xE5\xF1\xF1 \xF3\xF1\xEF\xE5\xF8\xED\xEE \xE7\xE0\xE2\xE5\xF0\xF8\xE5\xED";
// "Полученный файл возможно поврежден!"
const char MismatchText[] =
    "\xCF\xEE\xEB\xF3\xF7\xE5\xED\xED\xFB\xE9 \xF4\xE0\xE9\xEB \xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE "
    "\xEF\xEE\xE2\xF0\xE5\xE6\xE4\xE5\xED!";
// "Ошибка файловой системы!"
const char FileErrorText[] =
    "\xCE\xF8\xE8\xE1\xEA\xE0 \xF4\xE0\xE9\xEB\xEE\xE2\xEE\xE9 \xF1\xE8\xF1\xF2\xE5\xEC\xFB!";
// By JoinState.Outcome: complete, mismatch, file error.
const char* const Texts[] = {CompleteText, MismatchText, FileErrorText};

}  // namespace outcome
