// Reading the identity data file's entries.
#include "identify/DataFile.h"

#include "platform/file_open.h"

namespace {

// Text mode's end-of-file character.
constexpr int kEndOfFileMark = 0x1A;

// The next character as a text-mode read sees it. CR LF comes back as LF;
// a lone CR stays. The end-of-file mark is pushed back so that every later
// call also sees the end of the file.
int TextGetc(std::FILE* file)
{
    int c = std::getc(file);
    if (c == kEndOfFileMark) {
        std::ungetc(c, file);
        return EOF;
    }
    if (c == '\r') {
        int next = std::getc(file);
        if (next == '\n')
            return '\n';
        if (next != EOF)
            std::ungetc(next, file);
    }
    return c;
}

// Reads one line, or the next piece of a long one: characters up to and
// including the line end, at most kDataLineRoom of them. Returns false when
// nothing was left to read. A NUL among the characters ends the line's text.
bool ReadLinePiece(std::FILE* file, std::string& line)
{
    line.clear();
    bool readAny = false;
    bool cut = false;
    for (std::size_t count = 0; count < kDataLineRoom; ++count) {
        int c = TextGetc(file);
        if (c == EOF)
            break;
        readAny = true;
        if (c == '\0')
            cut = true;
        if (!cut)
            line.push_back(static_cast<char>(c));
        if (c == '\n')
            break;
    }
    return readAny;
}

} // namespace

std::optional<std::string> ReadDataEntry(std::FILE* file)
{
    if (!file)
        return std::nullopt;
    std::string line;
    while (ReadLinePiece(file, line)) {
        if (line.empty() || line[0] == ';')
            continue;
        std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::size_t start = equals + 1;
        while (start < line.size() && line[start] == ' ')
            ++start;
        if (start < line.size() && line[start] == '"')
            ++start;
        std::size_t end = line.find_first_of("\"\n", start);
        if (end == std::string::npos)
            end = line.size();
        return line.substr(start, end - start);
    }
    return std::nullopt;
}

DataFilePtr OpenDataFile(const std::string& name)
{
    // Only a plain file is read: a directory, a pipe or a device standing
    // under the name could fail every read, block, or never end.
    return DataFilePtr(platform::OpenRegularFile(name));
}
