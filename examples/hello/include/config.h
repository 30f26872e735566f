#define PUNCTUATION "!"
