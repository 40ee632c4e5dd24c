// Text lines built in memory and written to a file in one go, each ended by
// CR LF. The lines share one buffer: a conversion adds millions of short
// lines, and one allocation per line would cost more than making them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TextLines {
public:
    // Appends a line.
    void add(std::string_view line)
    {
        open().append(line);
        close();
    }
    // Starts a line: append its text to the string returned, then close().
    std::string& open()
    {
        starts_.push_back(text_.size());
        return text_;
    }
    void close() { text_ += "\r\n"; }

    // Room for about `bytes` of text, so that a large file is not copied
    // again and again while it grows.
    void reserve(size_t bytes)
    {
        text_.reserve(bytes);
        starts_.reserve(bytes / 12);
    }

    size_t size() const { return starts_.size(); }
    std::string_view operator[](size_t i) const
    {
        const size_t end = i + 1 < starts_.size() ? starts_[i + 1] : text_.size();
        return std::string_view(text_).substr(starts_[i], end - starts_[i] - 2);
    }
    void replace(size_t i, std::string_view line)
    {
        const size_t old = (*this)[i].size();
        text_.replace(starts_[i], old, line);
        for (size_t k = i + 1; k < starts_.size(); ++k)
            starts_[k] = starts_[k] - old + line.size();
    }
    // The whole text, every line ended by CR LF.
    const std::string& text() const { return text_; }

private:
    std::string text_;
    std::vector<size_t> starts_;
};
