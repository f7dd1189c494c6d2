"""A workflow step's `run` script split as its shell splits it: pwsh on a
Windows runner, bash elsewhere. Only the part of each language that the
release workflow uses is read; anything else raises NotUnderstood, so that a
script the release checker cannot read fails instead of passing unread.

  split(script, "pwsh" | "bash") -> [Command]

A Command is one simple command (or, in pwsh, one value piped onward or an
if's condition) with its words as the shell passes them to the program, and
every variable and `${{ }}` expression each word reads.
"""
import re
from dataclasses import dataclass, field

NAME = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")


class NotUnderstood(Exception):
    pass


@dataclass
class Word:
    text: str = ""  # quotes removed; variables and expressions kept as written
    reads: list = field(default_factory=list)  # (spelling, name): "env", "var" or "expression"
    quoted: bool = False


@dataclass
class Command:
    words: list
    kind: str = "command"  # "command", "value" (pwsh: a value piped on) or "condition"
    assigns: str = None  # pwsh: the variable `$name = ...` sets
    guard: "Command" = None  # pwsh: the condition of the if it runs under

    @property
    def name(self):
        return self.words[0].text if self.words else ""

    @property
    def arguments(self):
        return [w.text for w in self.words[1:]]

    def reads(self):
        return [read for word in self.words for read in word.reads]

    def __str__(self):
        return " ".join(w.text for w in self.words)


# --- Characters to words ---------------------------------------------------------------------


class Reader:
    def __init__(self, script):
        self.text, self.at = script.replace("\r\n", "\n"), 0

    def peek(self, ahead=0):
        at = self.at + ahead
        return self.text[at] if at < len(self.text) else ""

    def startswith(self, prefix):
        return self.text.startswith(prefix, self.at)

    def take(self, count=1):
        taken = self.text[self.at:self.at + count]
        self.at += count
        return taken

    def expression(self, word):
        """`${{ ... }}`: GitHub writes its value in before the shell runs."""
        end = self.text.find("}}", self.at)
        if end < 0:
            raise NotUnderstood("an unclosed ${{")
        raw = self.take(end + 2 - self.at)
        word.text += raw
        word.reads.append(("expression", re.sub(r"^\$\{\{\s*|\s*\}\}$", "", raw)))

    def variable(self, word, shell):
        """A `$` reference; False when the `$` is a plain character."""
        if self.startswith("${{"):
            self.expression(word)
            return True
        rest = self.text[self.at + 1:]
        env = re.match(r"env:(" + NAME.pattern + ")", rest, re.IGNORECASE)
        braced = re.match(r"\{(" + NAME.pattern + r")\}", rest)
        plain = NAME.match(rest)
        if env:  # pwsh's spelling; in bash it reads $env and then the text
            read, length = ("env", env.group(1)), env.end()
        elif braced:
            read, length = ("var", braced.group(1)), braced.end()
        elif rest.startswith("{"):
            raise NotUnderstood("a ${ } that is not a variable's name")
        elif rest.startswith("("):
            raise NotUnderstood("a $( ) subexpression")
        elif plain and shell == "pwsh" and rest[plain.end():plain.end() + 1] == ":":
            raise NotUnderstood(f"${plain.group(0)}: (pwsh reads a scope or drive before ':'; "
                                f"write ${{{plain.group(0)}}}:)")
        elif plain:
            read, length = ("var", plain.group(0)), plain.end()
        elif shell == "pwsh" and rest[:1] in ("?", "$", "^"):
            read, length = ("var", rest[0]), 1
        else:
            return False
        word.reads.append(read)
        word.text += self.take(1 + length)
        return True


def literal_dollar(reader, word):
    """A `$` that the shell passes on as it is (in single quotes, or escaped):
    noted when a name follows, since it reads like a variable that is not."""
    match = re.match(r"\$(?:env:|\{)?(" + NAME.pattern + ")", reader.text[reader.at - 1:])
    if match:
        word.reads.append(("literal", match.group(1)))


def escaped(reader, word):
    """An escape character and the character it passes on as it is."""
    reader.take()
    if reader.take() == "$":
        literal_dollar(reader, word)
    word.text += reader.text[reader.at - 1]


def single_quoted(reader, word, shell):
    reader.take()
    word.quoted = True
    while True:
        c = reader.take()
        if c == "":
            raise NotUnderstood("an unclosed '")
        if c == "'":
            if shell == "pwsh" and reader.peek() == "'":  # '' is a quote in pwsh
                word.text += reader.take()
                continue
            return
        if c == "$":
            literal_dollar(reader, word)
        word.text += c


def double_quoted(reader, word, shell):
    reader.take()
    word.quoted = True
    escape = "`" if shell == "pwsh" else "\\"
    while True:
        c = reader.peek()
        if c == "":
            raise NotUnderstood('an unclosed "')
        if c == '"':
            reader.take()
            if shell == "pwsh" and reader.peek() == '"':  # "" is a quote in pwsh
                word.text += reader.take()
                continue
            return
        if c == escape:
            escaped(reader, word)
        elif c == "`" and shell == "bash":
            raise NotUnderstood("a `command` substitution")
        elif c == "$" and reader.variable(word, shell):
            pass
        else:
            word.text += reader.take()


def tokens(script, shell):
    """Words and operators: ("word", Word) or ("op", text)."""
    operators = ["|", ";", "{", "}", "(", ")", ","] if shell == "pwsh" else \
        ["&&", "||", "|", "&", ";", "(", ")", "<", ">"]
    reader, out = Reader(script), []
    while reader.peek():
        c = reader.peek()
        if c in " \t":
            reader.take()
        elif c == "\n":
            reader.take()
            out.append(("op", "\n"))
        elif (shell == "pwsh" and reader.startswith("`\n")) or (shell == "bash" and reader.startswith("\\\n")):
            reader.take(2)  # a line continued
        elif c == "#":
            while reader.peek() not in ("", "\n"):
                reader.take()
        elif shell == "pwsh" and c == "=" and reader.peek(1) in " \t":
            out.append(("op", reader.take()))
        elif any(reader.startswith(op) for op in operators):
            out.append(("op", reader.take(len(next(op for op in operators if reader.startswith(op))))))
        else:
            out.append(("word", word(reader, shell, operators)))
    return out


def word(reader, shell, operators):
    w = Word()
    while True:
        c = reader.peek()
        if c == "" or c in " \t\n" or any(reader.startswith(op) for op in operators):
            return w
        if c == "'":
            single_quoted(reader, w, shell)
        elif c == '"':
            double_quoted(reader, w, shell)
        elif c == "$" and reader.variable(w, shell):
            pass
        elif (shell == "bash" and c == "\\") or (shell == "pwsh" and c == "`"):
            escaped(reader, w)
        elif shell == "bash" and c == "`":
            raise NotUnderstood("a `command` substitution")
        else:
            w.text += reader.take()


# --- Words to commands ----------------------------------------------------------------------


def split(script, shell):
    items = tokens(script, shell)
    commands, at = block(items, 0, shell, closing=None)
    if at != len(items):
        raise NotUnderstood(f"an unmatched {items[at][1]!r}")
    return commands


def block(items, at, shell, closing):
    commands = []
    while at < len(items):
        kind, value = items[at]
        if kind == "op" and value in ("\n", ";"):
            at += 1
        elif kind == "op" and value == closing:
            return commands, at
        elif kind == "word" and shell == "pwsh" and value.text == "if" and not value.quoted:
            at = if_statement(items, at + 1, shell, commands)
        elif kind == "word" and shell == "bash" and value.text in ("if", "for", "while", "case", "then"):
            raise NotUnderstood(f"bash's {value.text}, which this check does not model")
        elif kind == "word":
            at = pipeline(items, at, shell, commands)
        else:
            raise NotUnderstood(f"{value!r}, which this check does not model")
    return commands, at


def if_statement(items, at, shell, commands):
    """pwsh: if (condition) { block } [elseif (condition) { block }]"""
    earlier = None
    while True:
        if at >= len(items) or items[at] != ("op", "("):
            raise NotUnderstood("an if without its (condition)")
        depth, start = 0, at
        while at < len(items):
            if items[at] == ("op", "("):
                depth += 1
            elif items[at] == ("op", ")"):
                depth -= 1
                if depth == 0:
                    break
            at += 1
        if at >= len(items):
            raise NotUnderstood("an unclosed (")
        condition = [value for kind, value in items[start + 1:at] if kind == "word"]
        # An elseif's condition runs only when the ones before it were false.
        commands.append(Command(condition, kind="condition", guard=earlier))
        earlier = commands[-1]
        at = skip_lines(items, at + 1)
        if at >= len(items) or items[at] != ("op", "{"):
            raise NotUnderstood("an if without its { block }")
        inner, at = block(items, at + 1, shell, closing="}")
        if at >= len(items):
            raise NotUnderstood("an unclosed {")
        for command in inner:
            command.guard = command.guard or commands[-1]
        commands.extend(inner)
        following = skip_lines(items, at + 1)
        if following < len(items) and items[following][0] == "word" and \
                items[following][1].text in ("elseif", "else"):
            if items[following][1].text == "else":
                raise NotUnderstood("an else, which this check does not model")
            at = following + 1
            continue
        return at + 1


def skip_lines(items, at):
    while at < len(items) and items[at] == ("op", "\n"):
        at += 1
    return at


def pipeline(items, at, shell, commands):
    assigns = None
    first = items[at][1]
    if shell == "pwsh" and at + 1 < len(items) and items[at + 1] == ("op", "=") and \
            re.fullmatch(r"\$" + NAME.pattern, first.text):
        assigns, at = first.text[1:], at + 2
    elif shell == "bash" and re.match(NAME.pattern + "=", first.text) and not first.quoted:
        raise NotUnderstood(f"the assignment {first.text}, which this check does not model")
    while True:
        words = []
        while at < len(items):
            kind, value = items[at]
            if kind == "word":
                words.append(value)
            elif value == ",":
                pass  # pwsh: the items of an array, each still a word
            elif value in ("\n", ";", "|", "}"):
                break
            else:
                raise NotUnderstood(f"{value!r}, which this check does not model")
            at += 1
        if not words:
            raise NotUnderstood("an empty command")
        value = shell == "pwsh" and (words[0].quoted or words[0].text.startswith("$"))
        commands.append(Command(words, kind="value" if value else "command", assigns=assigns))
        assigns = None
        if at < len(items) and items[at] == ("op", "|"):
            if shell == "bash":
                raise NotUnderstood("a pipe, whose exit status is its last command's")
            at = skip_lines(items, at + 1)
            continue
        return at
