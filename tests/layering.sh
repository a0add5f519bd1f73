#!/usr/bin/env bash
# Checks the include lines of the source tree against the layer order: a library folder may
# include only itself and the folders below it, and only ui/ and the window bindings of
# platform/ may include Qt Widgets. Usage: layering.sh SOURCE_DIR [QT_WIDGETS_INCLUDE_DIR]
set -u
src=${1:?source folder}
widgets_dir=${2:-}

# Lowest first. base may not exist yet; it is still the bottom layer.
layers=(base engine platform services http identity update ui)
# On top of every library: they may include anything (tools/ no Qt Widgets, see below).
top=(tools tests bench fuzz)
# The platform files that bind the window system.
window_bindings=(platform/messagebox.cpp platform/C_WideDialogs.cpp platform/C_WideDialogs.h
                 platform/U_DragDrop.cpp platform/U_DragDrop.h)

declare -A rank=()
for i in "${!layers[@]}"; do
    rank[${layers[$i]}]=$i
done
for t in "${top[@]}"; do
    rank[$t]=100
done

# Qt Widgets headers: the module's own folder when given, plus the usual class names so the
# check still means something without it.
declare -A widgets=()
for h in QWidget QMessageBox QFileDialog QApplication QDialog QMainWindow QLabel QPushButton \
         QMenu QMenuBar QStatusBar QToolBar QLayout QBoxLayout QHBoxLayout QVBoxLayout \
         QGridLayout QSlider QSpinBox QCheckBox QLineEdit QScrollArea QSplitter QGroupBox \
         QAbstractButton QToolButton QComboBox QTextEdit QProgressBar QStyle QFrame; do
    widgets[$h]=1
done
if [[ -n $widgets_dir && -d $widgets_dir ]]; then
    for f in "$widgets_dir"/*; do
        widgets[${f##*/}]=1
    done
fi

is_widgets_header() {
    local h=$1
    [[ $h == QtWidgets/* || $h == qt6/QtWidgets/* ]] && return 0
    [[ -n ${widgets[$h]+x} ]]
}

is_window_binding() {
    local w
    for w in "${window_bindings[@]}"; do
        [[ $1 == "$w" ]] && return 0
    done
    return 1
}

failures=0
checked=0
cd "$src" || exit 2
while IFS= read -r -d '' file; do
    rel=${file#./}
    folder=${rel%%/*}
    [[ $rel == */* ]] || folder=main # main.cpp and other files at the root are on top
    [[ $folder == main ]] && own=100 || own=${rank[$folder]:--1}
    [[ $own == -1 ]] && continue # build folders, scripts, resources
    checked=$((checked + 1))
    while IFS=: read -r lineno line; do
        [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*([\"\<])([^\"\>]+)[\"\>] ]] || continue
        kind=${BASH_REMATCH[1]}
        target=${BASH_REMATCH[2]}
        if [[ $kind == '"' && $target == */* ]]; then
            dep=${rank[${target%%/*}]:--1}
            if [[ $dep != -1 && $dep -gt $own ]]; then
                echo "$rel:$lineno: $folder/ includes \"$target\", a folder above it in the layer order"
                failures=$((failures + 1))
            fi
        fi
        if is_widgets_header "$target"; then
            if [[ $folder == ui || $folder == tests || $folder == bench || $folder == fuzz ||
                  $folder == main ]]; then
                :
            elif is_window_binding "$rel"; then
                :
            else
                echo "$rel:$lineno: includes the Qt Widgets header $target outside ui/ and the window bindings"
                failures=$((failures + 1))
            fi
        fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file")
done < <(find . \( -path ./.git -o -path './build*' \) -prune -o \
              -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.cc' \) -print0)

echo "$checked files checked, $failures layering faults"
[[ $checked -gt 0 && $failures -eq 0 ]]
