#!/usr/bin/env bash
# The tray icon and the settings dialog driven like an operator would: a display of our own
# (Xvfb on a free number), openbox as window manager, trayer as XEmbed tray host, xdotool for
# the mouse and the keyboard.
#
# usage: dialog_tray_e2e.sh <program> <case>   (the program: build/app/servermonitor)
# Every wait has a time-out, so a broken program fails the case instead of hanging it.
set -uo pipefail

program=$(realpath "$1")
case_name=$2
app_name=$(basename "$program")
export LC_ALL=C.UTF-8
source "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/lib.sh"
e2e_init "$case_name"
work=$e2e_work
app_pid=
trayer_pid=

# SM_E2E_SHOT=<file.png>: keep a picture of the screen as it was at the failure.
e2e_on_fail() {
    if [ -n "${SM_E2E_SHOT:-}" ] && [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
        import -window root "$SM_E2E_SHOT" 2>/dev/null
    fi
}

start_display() {
    display_start "$work"
    # The no_tray cases run on a desktop without any notification area.
    [[ $case_name == no_tray_* ]] || start_tray
}

# Whole outputs are read before they are searched: with pipefail, "grep -q" leaving early
# would make a pipeline fail on its writer's SIGPIPE.
tree() { xwininfo -root -tree 2>/dev/null; }

start_tray() {
    trayer --edge top --align right --widthtype pixel --width 200 --height 32 \
        >"$work/trayer.log" 2>&1 &
    trayer_pid=$!
    e2e_pids+=("$trayer_pid")
    e2e_logs+=("$work/trayer.log")
    wait_for 20 "the trayer panel" panel_present
}

panel_present() { grep -q '"panel": ("panel" "trayer")' <<<"$(tree)"; }

start_program() {
    mkdir -p "$work/run" "$work/xdg"
    chmod 700 "$work/xdg"
    # A server whose empty address ends the walk at once: cycles run and end without probing.
    printf '[Idle]\r\nIP=\r\n' >"$work/run/servers.ini"
    # No session bus: Qt then docks the icon through XEmbed, which trayer hosts.
    (cd "$work/run" && exec env DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
        XDG_RUNTIME_DIR="$work/xdg" QT_QPA_PLATFORM=xcb "$program" >"$work/app.log" 2>&1) &
    app_pid=$!
    e2e_pids+=("$app_pid")
    e2e_logs+=("$work/app.log")
    wait_for 30 "the main window" find_main_window
    [[ $case_name == no_tray_* ]] || wait_for 30 "the tray icon" find_tray_icon
}

# Sets main_window to the program's 219 x 431 main window.
find_main_window() {
    local w
    program_ended && fail "the program ended before its window appeared"
    for w in $(xdotool search --name 'Vormix' 2>/dev/null); do
        if grep -q 'Width: 219' <<<"$(xwininfo -id "$w" 2>/dev/null)"; then
            main_window=$w
            return 0
        fi
    done
    return 1
}

# Sets icon_x, icon_y to the centre of the program's icon docked in the panel at the top.
find_tray_icon() {
    local line geometry w h x y
    while read -r line; do
        geometry=$(grep -oE '[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+ +\+-?[0-9]+\+-?[0-9]+' <<<"$line") ||
            continue
        read -r w h x y < <(sed -E 's/^([0-9]+)x([0-9]+)\+-?[0-9]+\+-?[0-9]+ +\+(-?[0-9]+)\+(-?[0-9]+)$/\1 \2 \3 \4/' <<<"$geometry")
        if [ "$y" -ge 0 ] && [ "$y" -lt 32 ] && [ "$w" -le 64 ] && [ "$w" -gt 4 ]; then
            icon_x=$((x + w / 2))
            icon_y=$((y + h / 2))
            return 0
        fi
    done < <(grep -F "(\"$app_name\" " <<<"$(tree)")
    return 1
}

icon_gone() { ! find_tray_icon; }

viewable() { grep -q 'Map State: IsViewable' <<<"$(xwininfo -id "$1" 2>/dev/null)"; }
unmapped() { grep -q 'Map State: IsUnMapped' <<<"$(xwininfo -id "$1" 2>/dev/null)"; }

# Clicks at a position inside a window's client area.
click_in() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

# Sets menu to the program's popup menu once it is on screen.
find_menu() {
    local w info
    for w in $(xdotool search --onlyvisible --classname "$app_name" 2>/dev/null); do
        [ "$w" = "$main_window" ] && continue
        info=$(xwininfo -id "$w" 2>/dev/null) || continue
        # Popup menus are override-redirect, and so is the icon docked in the panel; but the
        # icon is not a child of the root.
        grep -q 'Override Redirect State: yes' <<<"$info" || continue
        grep -q 'Map State: IsViewable' <<<"$info" || continue
        grep -q 'Parent window id: .*(the root window)' <<<"$(xwininfo -children -id "$w" 2>/dev/null)" ||
            continue
        menu=$w
        return 0
    done
    return 1
}

open_tray_menu() {
    xdotool mousemove "$icon_x" "$icon_y" click 3
    wait_for 10 "the tray menu" find_menu
    # The menu takes the pointer and keyboard grab right after it is mapped.
    sleep 0.5
}

# The items are chosen with the keyboard, as the menu must allow.
choose_show_item() { xdotool key --delay 100 Down Return; }        # N1 "显示界面"
choose_quit_item() { xdotool key --delay 100 Down Down Return; }   # N2 "退出软件", past N3

find_dialog() {
    dialog=$(xdotool search --onlyvisible --name '添加服务器' 2>/dev/null | head -n1)
    [ -n "$dialog" ]
}

dialog_gone() { ! find_dialog; }

dialog_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$dialog" ]; }

open_settings() {
    click_in "$main_window" 40 316 # Button2 "设置"
    wait_for 15 "the settings dialog" find_dialog
    wait_for 10 "the settings dialog to take the focus" dialog_active
    sleep 0.3 # the window manager may still be placing it
}

program_ended() { ! alive "$app_pid"; }

expect_exit_code_zero() {
    wait_for 15 "the program to end" program_ended
    wait "$app_pid"
    local code=$?
    [ "$code" -eq 0 ] || fail "the program ended with exit code $code"
}

hide_main_window() {
    click_in "$main_window" 176 316 # Button3 "缩成图标"
    wait_for 10 "the main window to hide" unmapped "$main_window"
}

case_hide_and_double_click_shows() {
    hide_main_window
    # A single click does nothing.
    xdotool mousemove "$icon_x" "$icon_y" click 1
    holds_for 2 "a single click on the icon showed the window" unmapped "$main_window"
    sleep 0.6 # let the double-click interval of that click pass
    xdotool mousemove "$icon_x" "$icon_y" click --repeat 2 --delay 80 1
    wait_for 10 "the main window to come back" viewable "$main_window"
}

case_menu_show_item() {
    hide_main_window
    # On a loaded machine the keys can reach the display before the menu has taken the
    # keyboard; the menu then stays open or closes unused, and is opened again.
    local attempt
    for attempt in 1 2 3; do
        open_tray_menu
        choose_show_item
        poll 5 viewable "$main_window" && return 0
        find_menu && xdotool key Escape
        sleep 0.5
    done
    fail "the main window did not come back after choosing 显示界面 three times"
}

case_quit_from_menu() {
    open_tray_menu
    choose_quit_item
    expect_exit_code_zero
}

case_quit_from_menu_while_settings_open() {
    open_settings
    open_tray_menu
    choose_quit_item
    expect_exit_code_zero
}

file_is() { [ "$(od -An -tx1 "$1")" = "$(printf '%b' "$2" | od -An -tx1)" ]; }

case_settings_add_writes_file() {
    open_settings
    click_in "$dialog" 148 182 # Edit1
    xdotool type --delay 20 'E2E'
    click_in "$dialog" 148 206 # Edit2
    xdotool type --delay 20 '127.0.0.1'
    click_in "$dialog" 148 230 # Edit3
    xdotool type --delay 20 ' $1F3F'
    click_in "$dialog" 101 324 # BitBtn4 "添加/修改"
    local expected='[Idle]\r\nIP=\r\n\r\n[E2E]\r\nIP=127.0.0.1\r\nPort=7999\r\nSoundAlert=1\r\nSMSAlert=0\r\n\r\n'
    wait_for 10 "servers.ini to hold the new server" file_is "$work/run/servers.ini" "$expected"
    click_in "$dialog" 181 364 # BitBtn2 "关闭"
    wait_for 10 "the dialog to close" dialog_gone
    viewable "$main_window" || fail "the main window is not showing after the dialog closed"
}

case_tray_restart_readds_icon() {
    hide_main_window
    kill "$trayer_pid"
    wait "$trayer_pid" 2>/dev/null
    wait_for 10 "the icon to leave with the panel" icon_gone
    start_tray
    wait_for 20 "the icon to dock in the new panel" find_tray_icon
    xdotool mousemove "$icon_x" "$icon_y" click --repeat 2 --delay 80 1
    wait_for 10 "the main window to come back" viewable "$main_window"
}

# The right button's press alone opens nothing; its release over the icon opens the menu.
case_menu_opens_on_release() {
    xdotool mousemove "$icon_x" "$icon_y" mousedown 3
    holds_for 2 "the menu opened on the press" eval '! find_menu'
    xdotool mouseup 3
    wait_for 10 "the menu after the release" find_menu
    xdotool key Escape
}

wm_state() { xprop -id "$main_window" WM_STATE 2>/dev/null | sed -n 's/^[[:space:]]*window state: //p'; }
iconic() { [ "$(wm_state)" = Iconic ]; }

# Without a notification area 缩成图标 iconifies (the window list keeps it), and activating it
# brings it back.
case_no_tray_shrink_iconifies() {
    xdotool windowactivate --sync "$main_window" >/dev/null 2>&1
    click_in "$main_window" 176 316 # Button3 "缩成图标"
    wait_for 10 "the main window to be iconified" iconic
    unmapped "$main_window" || fail "the iconified window is still on the screen"
    xdotool windowactivate "$main_window" >/dev/null 2>&1
    wait_for 10 "the main window to come back" viewable "$main_window"
    [ "$(wm_state)" = Normal ] || fail "WM_STATE is $(wm_state) after activating"
}

# The tray goes away while the window is hidden: the window comes back by itself.
case_tray_killed_shows_hidden_window() {
    hide_main_window
    case $(wm_state) in
    Withdrawn | "") ;; # withdrawn: the window manager may drop the property altogether
    *) fail "WM_STATE is $(wm_state) after 缩成图标 with a tray" ;;
    esac
    kill "$trayer_pid"
    wait "$trayer_pid" 2>/dev/null
    wait_for 15 "the main window to come back" viewable "$main_window"
}

# Not a test: the pictures of docs/ (settings-dialog.png, tray-menu.png), taken into
# $SM_SCREENSHOT_DIR.
case_screenshots() {
    local out=${SM_SCREENSHOT_DIR:?set SM_SCREENSHOT_DIR}
    # The first server's empty address ends the probe walk, so no cycle keeps "设置" disabled.
    printf '[备用]\r\nIP=\r\n[网站服务器]\r\nIP=127.0.0.1\r\nPort=8080\r\nSoundAlert=1\r\nSMSAlert=1\r\n[数据库]\r\nIP=127.0.0.2\r\nPort=3306\r\n' |
        iconv -f UTF-8 -t GBK >"$work/run/servers.ini"
    open_settings
    click_in "$dialog" 60 25 # the second entry of ListBox1
    sleep 0.5
    shoot_window "$dialog" "$out/settings-dialog.png"
    click_in "$dialog" 181 364 # BitBtn2 "关闭"
    wait_for 10 "the dialog to close" dialog_gone
    open_tray_menu
    xdotool key Down
    sleep 0.3
    import -window root -crop 260x110+764+0 "$out/tray-menu.png"
    xdotool key Escape
}

# A window with its frame, cut from the screen: the client sits at (border, title) in the
# frame, with the border on the other three sides too.
shoot_window() {
    local info x y w h bx ty
    info=$(xwininfo -id "$1")
    x=$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$info")
    y=$(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$info")
    bx=$(sed -n 's/^ *Relative upper-left X: *//p' <<<"$info")
    ty=$(sed -n 's/^ *Relative upper-left Y: *//p' <<<"$info")
    w=$(sed -n 's/^ *Width: *//p' <<<"$info")
    h=$(sed -n 's/^ *Height: *//p' <<<"$info")
    import -window root -crop "$((w + 2 * bx))x$((h + ty + bx))+$((x - bx))+$((y - ty))" "$2"
}

declare -F "case_$case_name" >/dev/null || fail "no such case"
start_display
start_program
"case_$case_name"
echo "PASS ($case_name)"
