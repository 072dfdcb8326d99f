// The bash completion of pellmor, written from the command line's own tables: what each option's value is, the
// options of each command, what each operand is. Only the data is written here; how it is used is fixed text.
#include "cli/PellmorCommand.h"

namespace
{
// The kinds as the script names them; empty for an option without a value.
const char16_t* KindName(EPellmorValue Value)
{
    switch (Value)
    {
        case EPellmorValue::None:
            return u"";
        case EPellmorValue::File:
            return u"file";
        case EPellmorValue::Folder:
            return u"folder";
        case EPellmorValue::Path:
            return u"path";
        case EPellmorValue::Archive:
            return u"archive";
        case EPellmorValue::Number:
            return u"number";
        case EPellmorValue::Command:
            return u"command";
    }
    return u"";
}

// Names joined with Separator.
FString Joined(const TDynArray<FString>& Names, const char16_t* Separator)
{
    FString Text;
    for (const FString& Name : Names)
        Text += (Text.IsEmpty() ? u"" : Separator) + Name;
    return Text;
}

// "restore | unshrink"
FString CasePattern(const FPellmorCommandDoc& Command)
{
    return Command.Alias.IsEmpty() ? Command.Name : Command.Name + u" | " + Command.Alias;
}

const char16_t* const Body = uR"BASH(
# The archives of a game folder, for --archive, one a line: the names of the archives in its Models folder
# (without .img, and without the files a shrink keeps beside them), and the archives data/gta.dat names
# elsewhere, as paths below the game folder. $1 is the folder as typed; its Models folder or Models/gta3.img
# will do too, as for pellmor.
_pellmor_archives()
{
    local game=$1 file line path restore
    case $game in
        \~/*) game=$HOME/${game#\~/} ;;
    esac
    game=${game%/}
    [[ -f $game ]] && game=$(dirname -- "$game")
    [[ ${game##*/} == [Mm][Oo][Dd][Ee][Ll][Ss] ]] && game=$(dirname -- "$game")
    restore=$(shopt -p nullglob)
    shopt -s nullglob
    for file in "$game"/[Mm][Oo][Dd][Ee][Ll][Ss]/*.[Ii][Mm][Gg]; do
        file=${file##*/}
        file=${file%.*}
        case ${file,,} in
            *_temp | *_orig_bak | *_shrunk_bak) ;;
            *) printf '%s\n' "$file" ;;
        esac
    done
    for file in "$game"/[Dd][Aa][Tt][Aa]/[Gg][Tt][Aa].[Dd][Aa][Tt]; do
        while IFS= read -r line || [[ -n $line ]]; do
            line=${line%$'\r'}
            line=${line#"${line%%[![:space:]]*}"}
            [[ ${line:0:4} == [Ii][Mm][Gg][[:space:]] ]] || continue
            path=${line:4}
            path=${path#"${path%%[![:space:]]*}"}
            path=${path%"${path##*[![:space:]]}"}
            path=${path//\\//}
            [[ ${path%%/*} == [Mm][Oo][Dd][Ee][Ll][Ss] && ${path#*/} != */* ]] || printf '%s\n' "$path"
        done <"$file"
    done
    eval "$restore"
}

# A word of the command line as the program will get it, for the quoting people type: 'a b', "a b", a\ b.
_pellmor_dequote()
{
    local word=$1
    case $word in
        \'*) word=${word#\'} word=${word%\'} ;;
        \"*) word=${word#\"} word=${word%\"} ;;
        *) word=${word//\\/} ;;
    esac
    printf '%s' "$word"
}

# Completes $cur as a value of the kind $1; $2 is the game folder on the line (or empty), the words after it the
# usual values of a number.
_pellmor_complete_value()
{
    local kind=$1 game=$2
    shift 2
    case $kind in
        file | path | folder)
            if declare -F _filedir >/dev/null; then
                if [[ $kind == folder ]]; then _filedir -d; else _filedir; fi
            else
                compopt -o filenames 2>/dev/null
                if [[ $kind == folder ]]; then
                    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
                else
                    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
                fi
            fi
            ;;
        archive)
            [[ -n $game ]] && mapfile -t COMPREPLY < <(compgen -W "$(_pellmor_archives "$game")" -- "$cur")
            ;;
        number)
            mapfile -t COMPREPLY < <(compgen -W "$*" -- "$cur")
            ;;
        command)
            mapfile -t COMPREPLY < <(compgen -W "$(_pellmor_commands)" -- "$cur")
            ;;
    esac
}

_pellmor()
{
    local cur=${COMP_WORDS[COMP_CWORD]} option= command= word i end= before=0
    local -a operands=() value=()
    COMPREPLY=()
    # bash hands "--archive=NAME" over as three words: --archive, = and NAME.
    if [[ $cur == = && ${COMP_WORDS[COMP_CWORD - 1]} == --* ]]; then
        option=${COMP_WORDS[COMP_CWORD - 1]}
        cur=
    elif ((COMP_CWORD > 1)) && [[ ${COMP_WORDS[COMP_CWORD - 1]} == = && ${COMP_WORDS[COMP_CWORD - 2]} == --* ]]; then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    # The command and its operands on the whole line (a game folder may follow the option being completed), and
    # how many operands stand before the word being completed.
    for ((i = 1; i < ${#COMP_WORDS[@]}; i++)); do
        ((i == COMP_CWORD)) && continue
        word=${COMP_WORDS[i]}
        if [[ -z $end && $word == -- ]]; then
            end=1
        elif [[ -z $end && $word == -?* ]]; then
            if [[ ${COMP_WORDS[i + 1]-} == = ]]; then
                ((i += 2))
            elif [[ -n $(_pellmor_option_value "$word") ]]; then
                if ((i + 1 == COMP_CWORD)); then option=$word; else ((i++)); fi
            fi
        elif [[ -z $command ]]; then
            ((i < COMP_CWORD)) && command=${word,,}
        else
            operands+=("$(_pellmor_dequote "$word")")
            ((i < COMP_CWORD)) && ((before++))
        fi
    done
    if [[ -n $option ]]; then
        read -ra value <<<"$(_pellmor_option_value "$option")"
        ((${#value[@]})) && _pellmor_complete_value "${value[0]}" "${operands[0]-}" "${value[@]:1}"
    elif [[ -z $end && $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_pellmor_options "$command")" -- "$cur")
    elif [[ -z $command ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_pellmor_commands)" -- "$cur")
    else
        _pellmor_complete_value "$(_pellmor_operand "$command" "$before")" "${operands[0]-}"
    fi
    return 0
}

complete -F _pellmor pellmor
)BASH";

// _pellmor_commands, _pellmor_option_value, _pellmor_options and _pellmor_operand: the tables.
FString Tables(const TDynArray<FPellmorCommandDoc>& Commands, const TDynArray<FPellmorOptionDoc>& Options)
{
    TDynArray<FString> Names;
    TDynArray<FString> General;
    TDynArray<FString> All;
    for (const FPellmorCommandDoc& Command : Commands)
    {
        Names.AddItem(Command.Name);
        if (!Command.Alias.IsEmpty())
            Names.AddItem(Command.Alias);
    }
    FString Text = u"\n# The commands.\n_pellmor_commands()\n{\n    echo \"" + Joined(Names, u" ") + u"\"\n}\n";

    Text += u"\n# What the value of option $1 is, then its usual values when there are few; nothing when it takes "
            u"none.\n_pellmor_option_value()\n{\n    case $1 in\n";
    for (const FPellmorOptionDoc& Option : Options)
    {
        (Option.Commands.Num() > 0 ? All : General).AddItem(Option.Name);
        if (Option.Value != EPellmorValue::None)
            Text += FString::Printf(u"        %s) echo \"%s%s%s\" ;;\n", *Option.Name, KindName(Option.Value),
                                    Option.Choices.IsEmpty() ? u"" : u" ", *Option.Choices);
    }
    Text += u"    esac\n}\n";

    Text += u"\n# The options of command $1; all of them before a command.\n_pellmor_options()\n{\n    case $1 in\n";
    for (const FPellmorCommandDoc& Command : Commands)
    {
        TDynArray<FString> Taken = Command.Options;
        for (const FString& Name : General)
            Taken.AddItem(Name);
        Text += u"        " + CasePattern(Command) + u") echo \"" + Joined(Taken, u" ") + u"\" ;;\n";
    }
    for (const FString& Name : General)
        All.AddItem(Name);
    Text += u"        *) echo \"" + Joined(All, u" ") + u"\" ;;\n    esac\n}\n";

    Text += u"\n# What operand $2 (counted from 0) of command $1 is.\n_pellmor_operand()\n{\n    case $1 in\n";
    for (const FPellmorCommandDoc& Command : Commands)
    {
        TDynArray<FString> Kinds;
        for (EPellmorValue Operand : Command.Operands)
            Kinds.AddItem(FString(KindName(Operand)));
        Text += u"        " + CasePattern(Command) + u") local kinds=(" + Joined(Kinds, u" ") + u") ;;\n";
    }
    Text += u"        *) return ;;\n    esac\n    echo \"${kinds[$2]-}\"\n}\n";
    return Text;
}
} // namespace

FString GetPellmorBashCompletion()
{
    return FString::Printf(u"# bash completion of pellmor %hs: its commands, options and their values.\n"
                           u"# Written by `pellmor --completion bash` from the program's own tables.\n",
                           PELLMOR_VERSION) +
           Tables(GetPellmorCommandDocs(), GetPellmorOptionDocs()) + Body;
}
