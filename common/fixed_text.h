// FixedText: a bounded, NUL-terminated text held in place, for the address, the paths and the
// other texts of a run whose room is fixed.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace vorlanth {

// A text of at most Capacity characters held in place, always NUL-terminated.
// Every write is bounds-checked: assign() refuses what does not fit, assignCut() cuts it.
template <std::size_t Capacity>
class FixedText {
  public:
    static constexpr std::size_t capacity = Capacity;

    FixedText() { clear(); }
    explicit FixedText(std::string_view text) { assignCut(text); }

    // Stores text when it fits; returns false and leaves the old text otherwise.
    bool assign(std::string_view text) {
        if (text.size() > Capacity) {
            return false;
        }
        store(text);
        return true;
    }

    // Stores at most the first Capacity characters of text.
    void assignCut(std::string_view text) {
        store(text.substr(0, std::min(text.size(), Capacity)));
    }

    // Appends text when the result fits; returns false otherwise.
    bool append(std::string_view text) {
        if (size_ + text.size() > Capacity) {
            return false;
        }
        std::copy(text.begin(), text.end(), chars_.begin() + static_cast<std::ptrdiff_t>(size_));
        size_ += text.size();
        chars_[size_] = '\0';
        return true;
    }

    // Keeps the first count characters.
    void truncate(std::size_t count) {
        if (count < size_) {
            size_ = count;
            chars_[size_] = '\0';
        }
    }

    // Clears every character, as the system clears its text areas.
    void clear() {
        chars_.fill('\0');
        size_ = 0;
    }

    std::string_view view() const { return {chars_.data(), size_}; }
    std::string str() const { return std::string(view()); }
    const char* c_str() const { return chars_.data(); }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    bool operator==(std::string_view other) const { return view() == other; }

  private:
    void store(std::string_view text) {
        chars_.fill('\0');
        std::copy(text.begin(), text.end(), chars_.begin());
        size_ = text.size();
    }

    std::array<char, Capacity + 1> chars_{};
    std::size_t size_ = 0;
};

}  // namespace vorlanth
