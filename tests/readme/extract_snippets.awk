# Writes every C++ block of a Markdown file as a source file of its own and
# prints one line per block for CMake:  <file> <kind> <platform> <name>...
#
# Which blocks are C++: a fenced block opened with ```cpp or ```c++, and an
# indented block (4 spaces, after a blank line) whose first line is an
# #include. Other blocks (shell commands, output) are left alone.
#
# <platform>: the build a block compiles in. A fenced block may name it after
# the language (```cpp wpilib2026, ```cpp wpilib2019: the build against that
# WPILib version); without a name, and for indented blocks, it is "standin"
# (the normal build, on the WPILib stand-in).
#
# How a block becomes a file (kind):
#   program   it has a main(): written as it stands;
#   test      it has TEST( or TEST_F(: written as it stands, linked with gtest's main;
#   fragment  anything else: its leading #include lines stay at file scope and the
#             rest becomes the body of main().
# <name>... are the words in backticks of the paragraph before the block; CMake
# links the block with those that are targets of the build.
# #line directives point compiler messages at the Markdown file's own lines
# (the lines of a block are kept one for one, blank ones included).
#
# Usage: awk -v out=<dir> -v source=<markdown path> -f extract_snippets.awk <markdown file>

function flush_paragraph_names(text,   rest, start, stop, names) {
  names = ""
  rest = text
  while ((start = index(rest, "`")) > 0) {
    rest = substr(rest, start + 1)
    stop = index(rest, "`")
    if (stop == 0) break
    names = names " " substr(rest, 1, stop - 1)
    rest = substr(rest, stop + 1)
  }
  return names
}

function emit(   file, kind, i, body_start, text) {
  if (nlines == 0) return
  text = ""
  for (i = 1; i <= nlines; i++) text = text "\n" lines[i]
  kind = "fragment"
  if (text ~ /(^|[^A-Za-z0-9_])main[ \t]*\(/) kind = "program"
  else if (text ~ /TEST(_F)?[ \t]*\(/) kind = "test"
  count++
  file = out "/readme_snippet_" count ".cpp"
  printf "// Generated from %s (block at line %d); do not edit.\n", source, first[1] > file
  printf "#line %d \"%s\"\n", first[1], source > file
  body_start = 1
  if (kind == "fragment") {
    for (; body_start <= nlines; body_start++) {
      if (lines[body_start] !~ /^[ \t]*(#include.*)?$/) break
      print lines[body_start] > file
    }
    print "int main() {" > file
    printf "#line %d \"%s\"\n", first[body_start], source > file
  }
  for (i = body_start; i <= nlines; i++) print lines[i] > file
  if (kind == "fragment") print "  return 0;\n}" > file
  close(file)
  print file, kind, platform, names
  nlines = 0
}

BEGIN { fence = ""; nlines = 0; count = 0; paragraph = ""; indented = 0; previous_blank = 1 }

# Inside a fenced block.
fence != "" {
  if ($0 ~ /^[ \t]*```/) {
    if (fence == "cpp") emit()
    fence = ""; nlines = 0; paragraph = ""; previous_blank = 0
  } else if (fence == "cpp") {
    nlines++; lines[nlines] = $0; first[nlines] = NR
  }
  next
}

# Inside an indented block: it goes on over blank lines and 4-space lines.
indented {
  if ($0 ~ /^    / || $0 ~ /^[ \t]*$/) {
    if (iscpp) { nlines++; lines[nlines] = substr($0, 5); first[nlines] = NR }
    previous_blank = $0 ~ /^[ \t]*$/
    next
  }
  while (nlines > 0 && lines[nlines] ~ /^[ \t]*$/) nlines--
  if (iscpp) emit()
  indented = 0; nlines = 0; paragraph = ""
}

/^[ \t]*```/ {
  fence = ($0 ~ /^[ \t]*```[ \t]*(cpp|c\+\+|C\+\+)([ \t]+[A-Za-z0-9_-]+)?[ \t]*$/) ? "cpp" : "other"
  platform = "standin"
  if (fence == "cpp" && split($0, info, /[ \t`]+/) >= 3 && info[3] != "") platform = info[3]
  names = flush_paragraph_names(paragraph)
  nlines = 0
  next
}

previous_blank && /^    [^ ]/ {
  indented = 1
  iscpp = $0 ~ /^    #include/
  platform = "standin"
  names = flush_paragraph_names(paragraph)
  nlines = 0
  if (iscpp) { nlines = 1; lines[1] = substr($0, 5); first[1] = NR }
  previous_blank = 0
  next
}

/^[ \t]*$/ { previous_blank = 1; next }

{
  # A new paragraph starts after a blank line; a heading is a paragraph of its own.
  if (previous_blank || $0 ~ /^#/) paragraph = ""
  paragraph = paragraph " " $0
  previous_blank = 0
}

END {
  if (indented && iscpp) {
    while (nlines > 0 && lines[nlines] ~ /^[ \t]*$/) nlines--
    emit()
  }
}
