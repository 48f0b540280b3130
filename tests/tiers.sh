#!/usr/bin/env bash
# Fails when a source file of a tier includes a header of a tier above it, or when a tier below
# ui includes a QtWidgets header. Usage: tiers.sh SRC_FOLDER
set -uo pipefail
src="${1:?Aufruf: tiers.sh SRC}"
order=(base pipeline platform model cutout fileops app ui)
# What each tier may include of ours (itself and everything below it).
declare -A allowed=(
  [base]="base"
  [pipeline]="base pipeline"
  [platform]="base platform"
  [model]="base pipeline model"
  [cutout]="base pipeline cutout"
  [fileops]="base pipeline platform model fileops"
  [app]="base pipeline platform model cutout fileops app"
  [ui]="base pipeline platform model cutout fileops app ui"
)
widgets='#include <(QApplication|QWidget|QDialog|QMessageBox|QFileDialog|QLabel|QPushButton|QAbstractButton|QLayout|QBoxLayout|QHBoxLayout|QVBoxLayout|QGridLayout|QScrollArea|QAbstractScrollArea|QListView|QAbstractItemView|QStyledItemDelegate|QStyle|QSlider|QLineEdit|QCheckBox|QColorDialog|QMainWindow|QToolButton|QFrame|QMenu|QAction|QtWidgets)'
bad=0
for tier in "${order[@]}"; do
  [ -d "$src/$tier" ] || continue
  while IFS= read -r line; do
    file=${line%%:*}
    inc=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"${line#*:}")
    case " ${allowed[$tier]} " in
      *" $inc "*) ;;
      *) echo "$file: tier $tier includes a header of tier $inc: ${line#*:}"; bad=1 ;;
    esac
  done < <(grep -rHE '#include "[a-z]+/' "$src/$tier" --include='*.h' --include='*.cpp')
  if [ "$tier" != ui ]; then
    if grep -rHE "$widgets" "$src/$tier" --include='*.h' --include='*.cpp'; then bad=1; fi
  fi
done
exit $bad
