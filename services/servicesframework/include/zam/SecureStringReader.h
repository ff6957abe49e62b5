// zam::SecureStringReader: holds the plain text of a zam::SecureString for as long as the caller
// needs it, and overwrites it with zeros when it is reset or destroyed.
//
// Threading: none of its own; a reader belongs to one thread at a time and is never shared.
// Failure: setValue() reports false; nothing throws.
#ifndef ZAM_SECURESTRINGREADER_H
#define ZAM_SECURESTRINGREADER_H

namespace zam {

class SecureStringReaderData {
  public:
    // Zeroes `size` bytes of the buffer, frees it and empties the data.
    void destroy() noexcept;

    char* buffer = nullptr;  // new[] array: the plain text and a NUL, or null
    unsigned long size = 0;  // plain-text characters, without the NUL
};

class SecureStringReader {
  public:
    SecureStringReader();
    // As setValue(buffer, size).
    SecureStringReader(char* buffer, unsigned long size);
    ~SecureStringReader();

    SecureStringReader(const SecureStringReader&) = delete;
    SecureStringReader& operator=(const SecureStringReader&) = delete;

    // Releases the current text (zeroed), then takes ownership of `buffer`, an array allocated
    // with new[] that holds `size` characters and a NUL behind them, and returns true. With a
    // null buffer or a size of 0 the reader is left empty, ownership stays with the caller and
    // the result is false. Handing back the reader's own buffer only changes its size (a size of
    // 0 empties the reader).
    bool setValue(const char* buffer, unsigned long size);

    // The plain text, NUL-terminated; "" when there is none. Valid until the reader changes.
    const char* c_str() const;
    unsigned long getBufSize() const;

  private:
    SecureStringReaderData* data_;  // owned
};

}  // namespace zam

#endif  // ZAM_SECURESTRINGREADER_H
