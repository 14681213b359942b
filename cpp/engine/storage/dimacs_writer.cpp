#include "engine/storage/dimacs_writer.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <functional>
#include <span>
#include <string_view>
#include <memory>
#include <system_error>

namespace kelvo {
namespace {

// Text is produced in chunks and handed to a consumer, so a file of any size
// is written with a bounded buffer.
class ChunkedText {
public:
    template <typename Consumer>
    explicit ChunkedText(Consumer consumer) : flush_(std::move(consumer)) {
        buffer_.resize(kChunk + kSlack);
    }

    void put(std::string_view text) {
        if (text.size() > kSlack) {
            drain();
            flush_(text);
            return;
        }
        std::copy(text.begin(), text.end(), buffer_.data() + used_);
        used_ += text.size();
        drain_if_full();
    }

    template <typename Integer>
    void put_number(Integer value) {
        auto [end, ec] = std::to_chars(buffer_.data() + used_, buffer_.data() + buffer_.size(), value);
        (void)ec;
        used_ = static_cast<std::size_t>(end - buffer_.data());
        drain_if_full();
    }

    void put_char(char c) {
        buffer_[used_++] = c;
        drain_if_full();
    }

    void drain() {
        if (used_ > 0) flush_(std::string_view(buffer_.data(), used_));
        used_ = 0;
    }

private:
    static constexpr std::size_t kChunk = 1 << 20;
    static constexpr std::size_t kSlack = 256;  // room for one number or short line past the chunk
    std::function<void(std::string_view)> flush_;
    std::string buffer_;
    std::size_t used_ = 0;

    void drain_if_full() {
        if (used_ >= kChunk) drain();
    }
};

void put_clause(ChunkedText& out, std::span<const Literal> clause) {
    for (const auto literal : clause) {
        out.put_number(literal);
        out.put_char(' ');
    }
    out.put_char('0');
    out.put_char('\n');
}

// The length of the line end at the front of text, 0 for none: every
// line end a reader may split at (those of Python's str.splitlines, in
// UTF-8), so no part of a comment is ever read as a clause.
std::size_t line_end_length(std::string_view text) {
    static constexpr std::string_view multi_byte_ends[] = {"\xc2\x85", "\xe2\x80\xa8", "\xe2\x80\xa9"};
    if (text.starts_with("\r\n")) return 2;
    switch (text.front()) {
        case '\n': case '\r': case '\v': case '\f': case '\x1c': case '\x1d': case '\x1e': return 1;
        default: break;
    }
    for (const auto end : multi_byte_ends) {
        if (text.starts_with(end)) return end.size();
    }
    return 0;
}

void put_comment_lines(ChunkedText& out, std::string_view text) {
    while (!text.empty()) {
        std::size_t end = 0;
        std::size_t end_length = 0;
        while (end < text.size() && (end_length = line_end_length(text.substr(end))) == 0) ++end;
        out.put("c ");
        out.put(text.substr(0, end));
        out.put_char('\n');
        text.remove_prefix(end + end_length);
    }
}

void write_text(const WcnfStorage& storage, ChunkedText& out) {
    put_comment_lines(out, storage.model_name());
    const auto& hard = storage.hard_clauses();
    const auto& soft = storage.soft_clauses();
    if (!storage.is_weighted()) {
        out.put("p cnf ");
        out.put_number(std::max(storage.variable_count(), storage.largest_variable()));
        out.put_char(' ');
        out.put_number(hard.size());
        out.put_char('\n');
        for (std::size_t c = 0; c < hard.size(); ++c) put_clause(out, hard.clause(c));
    } else {
        for (std::size_t c = 0; c < hard.size(); ++c) {
            out.put("h ");
            put_clause(out, hard.clause(c));
        }
        const auto& weights = storage.soft_weights();
        for (std::size_t c = 0; c < soft.size(); ++c) {
            out.put_number(weights[c]);
            out.put_char(' ');
            put_clause(out, soft.clause(c));
        }
    }
    out.drain();
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string dimacs_text(const WcnfStorage& storage) {
    const auto lock = storage.lock_for_reading();
    std::string text;
    text.reserve(storage.hard_clauses().literal_count() * 6 + storage.size() * 4 + 64);
    ChunkedText out([&text](std::string_view chunk) { text.append(chunk); });
    write_text(storage, out);
    return text;
}

void write_dimacs_file(const WcnfStorage& storage, const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) throw std::system_error(errno, std::generic_category(), "cannot open " + path + " for writing");
    bool failed = false;
    const auto lock = storage.lock_for_reading();
    ChunkedText out([&](std::string_view chunk) {
        if (!failed && std::fwrite(chunk.data(), 1, chunk.size(), file.get()) != chunk.size()) failed = true;
    });
    write_text(storage, out);
    if (failed || std::fflush(file.get()) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot write " + path);
    }
    std::FILE* raw = file.release();
    if (std::fclose(raw) != 0) throw std::system_error(errno, std::generic_category(), "cannot close " + path);
}

}  // namespace kelvo
