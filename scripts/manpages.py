#!/usr/bin/env python3
"""Manual pages and shell completion from one markdown source per program.

    manpages.py man SOURCE.md OUT.1 --version V       roff manual page
    manpages.py completion SOURCE.md OUT              bash completion
    manpages.py check SOURCE.md PROGRAM               options of PROGRAM --help
                                                      against those of SOURCE.md
    manpages.py render PAGE.1[.gz]                    fails on any warning of man
    manpages.py gzip FILE OUT.gz                      compressed as Debian wants

An OUT ending in .gz is written compressed, reproducibly (no name, no time).

The source is a small, fixed subset of markdown:

    # name(1) -- one-line description
    ## SECTION                  a section (upper case, as manual pages have)
    ### `command` *ARG*...      a subsection; under COMMANDS, one command
    paragraph text              joined into one paragraph up to a blank line
    `-o` *OUT*, `--out` *OUT*   a term, with its definition on the next
    : definition                lines, the first starting with ": "
    - item                      a bullet list item
        indented 4 blanks       a literal block

Inline: `literal` and **bold** in bold, *placeholder* in italics; a
backslash before ` or * keeps it literal. <!-- comments --> are dropped.

In a term, the code spans that start with "-" are option names; the rest of
the term is the option's value: a|b|c lists the values the completion offers,
DIR completes folders, FILE, OUT and PATH complete files, anything else
(N, SECONDS, ...) completes nothing.
"""

import argparse
import gzip
import os
import re
import shlex
import subprocess
import sys

# ------------------------------------------------------------------ parsing


class Term:
    def __init__(self, text):
        self.text = text
        spans = re.findall(r"`([^`]+)`", text)
        self.options = [s for s in spans if s.startswith("-")]
        rest = text
        if self.options:
            last = rest.rfind("`" + self.options[-1] + "`")
            rest = rest[last + len(self.options[-1]) + 2:]
        self.value = re.sub(r"[`*\[\]]", "", rest).strip(" ,=")


class Section:
    def __init__(self, title):
        self.title = title
        self.blocks = []  # (kind, payload)
        self.subsections = []  # Section, for ###


class Page:
    def __init__(self):
        self.name = ""
        self.section = "1"
        self.summary = ""
        self.sections = []


def strip_comments(text):
    return re.sub(r"<!--.*?-->\n?", "", text, flags=re.S)


def parse(text):
    page = Page()
    lines = strip_comments(text).split("\n")
    current = None  # Section or subsection receiving blocks
    top = None
    i = 0

    def add(kind, payload):
        if current is None:
            raise SystemExit(f"manpages: text before the first section: {payload!r}")
        current.blocks.append((kind, payload))

    while i < len(lines):
        line = lines[i]
        if not line.strip():
            i += 1
            continue
        if line.startswith("# "):
            m = re.match(r"# (\S+)\((\w+)\) -- (.*)", line)
            if not m:
                raise SystemExit(f"manpages: title must read '# name(1) -- summary': {line!r}")
            page.name, page.section, page.summary = m.groups()
            i += 1
        elif line.startswith("## "):
            top = Section(line[3:].strip())
            page.sections.append(top)
            current = top
            i += 1
        elif line.startswith("### "):
            if top is None:
                raise SystemExit(f"manpages: subsection outside a section: {line!r}")
            current = Section(line[4:].strip())
            top.subsections.append(current)
            i += 1
        elif line.startswith("    "):
            block = []
            while i < len(lines) and (lines[i].startswith("    ") or not lines[i].strip()):
                block.append(lines[i][4:])
                i += 1
            while block and not block[-1].strip():
                block.pop()
            add("literal", block)
        elif line.startswith("- "):
            item = [line[2:]]
            i += 1
            while i < len(lines) and lines[i].startswith("  ") and lines[i].strip():
                item.append(lines[i].strip())
                i += 1
            add("item", " ".join(item))
        elif i + 1 < len(lines) and lines[i + 1].startswith(": "):
            term = line.strip()
            body = [lines[i + 1][2:]]
            i += 2
            while i < len(lines) and lines[i].startswith("  ") and lines[i].strip():
                body.append(lines[i].strip())
                i += 1
            add("term", (Term(term), " ".join(body)))
        else:
            para = []
            while i < len(lines) and lines[i].strip() and not lines[i].startswith(("#", "- ", "    ")):
                para.append(lines[i].strip())
                i += 1
            add("para", " ".join(para))
    if not page.name:
        raise SystemExit("manpages: missing title line '# name(1) -- summary'")
    return page


def section(page, title):
    for s in page.sections:
        if s.title == title:
            return s
    return None


def terms(sec):
    return [payload[0] for kind, payload in sec.blocks if kind == "term"]


def command_name(sub):
    m = re.match(r"`([^`]+)`", sub.title)
    return m.group(1) if m else None


def commands(page):
    """{command: [Term]} from the COMMANDS section."""
    sec = section(page, "COMMANDS")
    if sec is None:
        return {}
    return {command_name(sub): terms(sub) for sub in sec.subsections if command_name(sub)}


def global_terms(page):
    sec = section(page, "OPTIONS")
    return terms(sec) if sec else []


# ------------------------------------------------------------------ roff


def escape(text):
    return text.replace("\\", "\\e")


def inline(text):
    out = []
    pos = 0
    pattern = re.compile(r"\\([`*\\])|`([^`]+)`|\*\*(.+?)\*\*|\*(.+?)\*")
    for m in pattern.finditer(text):
        out.append(escape(text[pos:m.start()]))
        if m.group(1):
            out.append(escape(m.group(1)))
        elif m.group(2) is not None:
            out.append("\\fB" + escape(m.group(2)).replace("-", "\\-") + "\\fR")
        elif m.group(3) is not None:
            out.append("\\fB" + escape(m.group(3)).replace("-", "\\-") + "\\fR")
        else:
            out.append("\\fI" + escape(m.group(4)) + "\\fR")
        pos = m.end()
    out.append(escape(text[pos:]))
    return "".join(out)


def roff_line(text):
    # A line starting with a period or an apostrophe would be a request.
    return "\\&" + text if text[:1] in (".", "'") else text


def roff_blocks(blocks, out):
    previous = None
    for kind, payload in blocks:
        if kind == "para":
            out.append(".PP")
            out.append(roff_line(inline(payload)))
        elif kind == "item":
            out.append(".IP \\(bu 2")
            out.append(roff_line(inline(payload)))
        elif kind == "term":
            term, body = payload
            out.append(".TP")
            out.append(roff_line(inline(term.text)))
            out.append(roff_line(inline(body)))
        elif kind == "literal":
            if previous in ("term", "item"):
                out.append(".RS")
            else:
                out.append(".PP")
                out.append(".RS 4")
            out.append(".nf")
            out.extend(roff_line(escape(line)) for line in payload)
            out.append(".fi")
            out.append(".RE")
        previous = kind


def to_roff(page, version):
    out = [
        f'.TH {page.name.upper()} {page.section} "" "Riffoscope {version}" "User Commands"',
        ".SH NAME",
        f"{page.name} \\- {escape(page.summary)}",
    ]
    for sec in page.sections:
        out.append(f".SH {sec.title}")
        roff_blocks(sec.blocks, out)
        for sub in sec.subsections:
            out.append(".SS " + inline(sub.title))
            roff_blocks(sub.blocks, out)
    return "\n".join(out) + "\n"


# ------------------------------------------------------------------ bash completion


def value_completion(value):
    """The bash words that complete an option's value."""
    if "|" in value:
        choices = " ".join(v.strip() for v in value.split("|"))
        return f'COMPREPLY=($(compgen -W {shlex.quote(choices)} -- "$cur"))'
    if "DIR" in value:
        return "_filedir -d"
    if any(word in value for word in ("FILE", "OUT", "PATH")):
        return "_filedir"
    return ":"


def to_completion(page):
    program = page.name
    function = "_" + re.sub(r"\W", "_", program)
    cmds = commands(page)
    globals_ = sorted({o for t in global_terms(page) for o in t.options})
    lines = [
        f"# bash completion for {program}; generated from its manual page source.",
        f"{function}() {{",
        "  local cur prev words cword",
        "  _init_completion || return",
        "  local command='' i",
        "  for ((i = 1; i < cword; i++)); do",
        '    case "${words[i]}" in',
        "      -*) ;;",
        '      *) command="${words[i]}"; break ;;',
        "    esac",
        "  done",
        '  if [[ -z "$command" ]]; then',
        '    if [[ "$cur" == -* ]]; then',
        f'      COMPREPLY=($(compgen -W {shlex.quote(" ".join(globals_))} -- "$cur"))',
        "    else",
        f'      COMPREPLY=($(compgen -W {shlex.quote(" ".join(cmds))} -- "$cur"))',
        "    fi",
        "    return",
        "  fi",
        "  local options=''",
        '  case "$command" in',
    ]
    for name, ts in cmds.items():
        options = sorted({o for t in ts for o in t.options} | {"--help"})
        lines.append(f"    {name}) options={shlex.quote(' '.join(options))} ;;")
    lines += [
        "    *) return ;;",
        "  esac",
        '  case "$command $prev" in',
    ]
    for name, ts in cmds.items():
        for t in ts:
            if not t.value:
                continue
            patterns = "|".join(shlex.quote(f"{name} {o}") for o in t.options)
            lines.append(f"    {patterns}) {value_completion(t.value)}; return ;;")
    lines += [
        "  esac",
        '  if [[ "$cur" == -* ]]; then',
        '    COMPREPLY=($(compgen -W "$options" -- "$cur"))',
        "    return",
        "  fi",
        "  _filedir",
        "}",
        f"complete -F {function} {program}",
    ]
    return "\n".join(lines) + "\n"


# ------------------------------------------------------------------ checking against --help

OPTION = re.compile(r"(?<![\w./'-])(--[a-z0-9][a-z0-9-]*|-[A-Za-z0-9])(?![\w-])")
IMPLICIT = {"-h", "--help"}  # every command takes them; the page lists them once


def help_text(program, *args):
    # No display and no window-system plug-in: --help must answer without one.
    result = subprocess.run([program, *args, "--help"], capture_output=True, text=True,
                            timeout=60, env={"LC_ALL": "C.UTF-8", "PATH": "/usr/bin:/bin"})
    if result.returncode != 0:
        raise SystemExit(f"manpages: {program} {' '.join(args)} --help exited {result.returncode}")
    return result.stdout


def help_commands(text):
    """Command names from the 'Commands:' list of the top-level help."""
    names, inside = [], False
    for line in text.split("\n"):
        if line.strip() == "Commands:":
            inside = True
        elif inside and not line.strip():
            break
        elif inside and re.match(r"  \S", line):
            names.append(line.split()[0])
    return names


def compare(what, in_help, in_page, problems):
    for option in sorted(in_help - in_page):
        problems.append(f"{what}: {option} is in --help but not in the manual page")
    for option in sorted(in_page - in_help):
        problems.append(f"{what}: {option} is in the manual page but not in --help")


def check(page, program):
    problems = []
    top = help_text(program)
    cmds = commands(page)
    all_page = {o for t in global_terms(page) for o in t.options}
    if cmds or section(page, "COMMANDS") is not None:
        listed = help_commands(top)
        compare("commands", set(listed), set(cmds), problems)
        for name in listed:
            if name not in cmds:
                continue
            own = {o for t in cmds[name] for o in t.options}
            all_page |= own
            compare(name, set(OPTION.findall(help_text(program, name))) - IMPLICIT, own - IMPLICIT,
                    problems)
    compare("all options", set(OPTION.findall(top)) - IMPLICIT, all_page - IMPLICIT, problems)
    for p in problems:
        print("manpages:", p, file=sys.stderr)
    return 1 if problems else 0


# ------------------------------------------------------------------ output


def write(path, text):
    data = text.encode("utf-8") if isinstance(text, str) else text
    if path.endswith(".gz"):
        with open(path, "wb") as raw, gzip.GzipFile(filename="", mode="wb", fileobj=raw,
                                                    compresslevel=9, mtime=0) as f:
            f.write(data)
    else:
        with open(path, "wb") as f:
            f.write(data)


def render(page):
    env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8")
    result = subprocess.run(["man", "--warnings", "-l", page], capture_output=True, text=True,
                            env=env, timeout=60)
    if result.returncode != 0 or result.stderr.strip():
        print(f"manpages: man {page}: status {result.returncode}\n{result.stderr}", file=sys.stderr)
        return 1
    return 0


# ------------------------------------------------------------------ main


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="action", required=True)
    m = sub.add_parser("man")
    m.add_argument("source")
    m.add_argument("output")
    m.add_argument("--version", required=True)
    c = sub.add_parser("completion")
    c.add_argument("source")
    c.add_argument("output")
    k = sub.add_parser("check")
    k.add_argument("source")
    k.add_argument("program")
    r = sub.add_parser("render")
    r.add_argument("page")
    g = sub.add_parser("gzip")
    g.add_argument("source")
    g.add_argument("output")
    args = parser.parse_args()
    if args.action == "render":
        return render(args.page)
    if args.action == "gzip":
        with open(args.source, "rb") as f:
            write(args.output, f.read())
        return 0
    with open(args.source, encoding="utf-8") as f:
        page = parse(f.read())
    if args.action == "check":
        return check(page, args.program)
    write(args.output, to_roff(page, args.version) if args.action == "man" else to_completion(page))
    return 0


if __name__ == "__main__":
    sys.exit(main())
