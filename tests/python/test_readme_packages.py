"""The README's list of Debian packages is the list tools/check_deps.sh installs."""
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parents[2]


def installed_by_check_deps():
    text = (ROOT / "tools" / "check_deps.sh").read_text()
    names = set(re.findall(r"check_(?:cmd|file)\s+\S+\s+([\w.+-]+)\s*$", text, re.M))
    names |= set(re.findall(r"missing\+=\(([\w.+-]+)\)", text))
    return names


def listed_in_readme():
    text = (ROOT / "README.md").read_text()
    block = text.split("Every Debian package `tools/check_deps.sh` may install", 1)[1]
    lines = re.findall(r"^    (\S.*)$", block.split("\n\n", 2)[1], re.M)
    return {word for line in lines for word in line.split()}


def test_readme_lists_what_check_deps_installs():
    assert installed_by_check_deps(), "no package found in check_deps.sh"
    assert listed_in_readme() == installed_by_check_deps()
