#!/usr/bin/env bash
# Fails when a text a person sees is handed to a widget, an action or a message box straight from
# a string literal, bypassing tr(), QT_TR_NOOP or QT_TRANSLATE_NOOP. A maintained grep: it knows
# the calls the interface's code uses. A line that must stay as it is says why in a comment
# containing "untranslated:". The product's name is not translated.
set -euo pipefail
source_dir=${1:?usage: CheckUntranslatedTexts.sh <source dir>}
cd "$source_dir"

text='"[^"]*[A-Za-z][^"]*"'
patterns=(
    # A literal given to a call that shows it.
    "(setText|setWindowTitle|setToolTip|setStatusTip|setPlaceholderText|setWhatsThis|addMenu|addAction|addTab|insertTab|setTabText|showMessage|SplashSetStatus)\(\s*(QString(Literal)?\(|QString::fromUtf8\()?$text"
    # A widget or action made with a literal caption.
    "new (QAction|QLabel|QPushButton|QToolButton|QCheckBox|QRadioButton|QGroupBox|QToolBar|QMenu)\(\s*$text"
    # A message box's text or caption.
    "ShowMessageBox\(\s*$text"
    "ShowMessageBox\(.*,\s*$text,"
    # Sentences kept in constants or built with QString without a translation marker.
    "constexpr char c_[A-Za-z]+\[\] = \"[A-Z'][^\"]* [^\"]*\""
    "QString\(\"[A-Za-z][^\"]* [^\"]*\"\)"
)

found=0
for pattern in "${patterns[@]}"; do
    while IFS= read -r line; do
        [[ "$line" == *"untranslated:"* ]] && continue
        [[ "$line" == *'"Lumo Publisher"'* ]] && continue
        echo "not translated: $line"
        found=1
    done < <(grep -rnE "$pattern" src/app src/picker --include='*.cpp' --include='*.h' || true)
done
if [[ $found -ne 0 ]]; then
    echo "Wrap these texts in tr() (QT_TRANSLATE_NOOP for tables and constants), then run the" \
        "update-translations target and translate them."
    exit 1
fi
echo "every shown text goes through the translation system"
