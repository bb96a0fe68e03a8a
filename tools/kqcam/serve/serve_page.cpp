// The page kqcam --serve shows at "/": everything inline, nothing fetched
// from elsewhere, so that it works offline. It uses only the HTTP API.
#include "serve.h"

namespace kqcam {

namespace {

const char kPage[] = R"KQPAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>kqcam</title>
<style>
:root { --bg:#16181c; --panel:#20242a; --line:#333942; --text:#e6e8eb; --dim:#9aa3ad; --accent:#e0a030; }
* { box-sizing: border-box; }
body { margin:0; background:var(--bg); color:var(--text); font:14px/1.4 system-ui, sans-serif; }
header { display:flex; align-items:baseline; gap:1em; padding:.6em 1em; border-bottom:1px solid var(--line); }
header h1 { font-size:1.1em; margin:0; letter-spacing:.05em; }
#status { color:var(--dim); font-variant-numeric:tabular-nums; }
main { display:grid; grid-template-columns:minmax(0,1fr) 320px; gap:1em; padding:1em; }
@media (max-width:800px) { main { grid-template-columns:1fr; } }
.view { background:#000; border:1px solid var(--line); height:56vh; min-height:240px; }
.view img { width:100%; height:100%; object-fit:contain; display:block; }
.tools { display:flex; flex-wrap:wrap; align-items:center; gap:.8em; margin-top:.6em; }
button { background:var(--accent); color:#111; border:0; border-radius:4px; padding:.55em 1.4em; font-weight:600; cursor:pointer; }
button.plain { background:var(--panel); color:var(--text); border:1px solid var(--line); font-weight:400; }
button:disabled { opacity:.5; cursor:wait; }
#message { color:var(--accent); min-height:1.4em; }
aside { background:var(--panel); border:1px solid var(--line); border-radius:4px; padding:.6em .8em; align-self:start; }
aside h2 label { float:right; font-size:.85em; cursor:pointer; }
body:not(.details) .details { display:none !important; }
#busy { color:var(--accent); font-weight:600; }
#viewOnly { color:var(--dim); }
.overlay { position:fixed; inset:0; display:none; align-items:center; justify-content:center; }
.overlay.shown { display:flex; }
#countdown { background:rgba(0,0,0,.45); color:#fff; font-size:30vh; font-weight:700; pointer-events:none; }
#review { background:rgba(0,0,0,.92); cursor:pointer; }
#review img { max-width:94vw; max-height:94vh; box-shadow:0 0 2em #000; }
aside h2, section h2 { font-size:1em; margin:.2em 0 .6em; color:var(--dim); font-weight:500; }
.prop { display:grid; grid-template-columns:1fr 1.2fr; gap:.4em; align-items:center; padding:.3em 0; border-top:1px solid var(--line); }
.prop .name small { color:var(--dim); display:block; font-size:.8em; }
.prop .name .current { color:var(--dim); }
.prop select, .prop input[type=text] { width:100%; background:var(--bg); color:var(--text); border:1px solid var(--line); padding:.25em; }
.prop input[type=range] { width:100%; }
.prop .ro { color:var(--dim); }
section { padding:0 1em 1em; }
#gallery { display:flex; flex-wrap:wrap; gap:.8em; }
#gallery figure { margin:0; width:170px; background:var(--panel); border:1px solid var(--line); border-radius:4px; overflow:hidden; }
#gallery img { width:100%; height:120px; object-fit:cover; display:block; cursor:zoom-in; background:#000; }
#gallery figcaption { padding:.3em .5em; font-size:.85em; display:flex; justify-content:space-between; gap:.5em; word-break:break-all; }
#gallery a { color:var(--accent); }
#empty { color:var(--dim); }
#lightbox { position:fixed; inset:0; background:rgba(0,0,0,.9); display:none; align-items:center; justify-content:center; cursor:zoom-out; }
#lightbox img { max-width:96vw; max-height:96vh; }
</style>
</head>
<body>
<header><h1>kqcam</h1><span id="status">connecting&hellip;</span></header>
<main>
  <div>
    <div class="view"><img id="live" alt="Live view"></div>
    <div class="tools">
      <button id="capture" title="Space or Enter">Capture</button>
      <span id="busy" hidden>Taking a picture&hellip;</span>
      <span id="viewOnly" hidden>View only</span>
      <button id="liveToggle" class="plain">Stop live view</button>
      <label id="zoomBox" hidden>Zoom <input id="zoom" type="range"> <output id="zoomValue"></output></label>
      <span id="message"></span>
    </div>
  </div>
  <aside><h2>Settings <label><input id="detailsToggle" type="checkbox"> details</label></h2><div id="settings"></div></aside>
</main>
<section><h2>Pictures taken</h2><p id="empty">None yet.</p><div id="gallery"></div></section>
<div id="lightbox"><img alt=""></div>
<div id="countdown" class="overlay"></div>
<div id="review" class="overlay"><img alt="The picture just taken"></div>
<script>
"use strict";
const query = new URLSearchParams(location.search);
const token = query.get("token");
const control = query.get("control");
const $ = (id) => document.getElementById(id);
function url(path) {
  if (token) path += (path.includes("?") ? "&" : "?") + "token=" + encodeURIComponent(token);
  return path;
}
const REVIEW_MS = 4000;  // how long a new picture is shown large
async function call(method, path, body) {
  const options = { method, headers: {} };
  if (control) options.headers["X-Kqcam-Control"] = control;
  if (body !== undefined) {
    options.headers["Content-Type"] = "application/json";
    options.body = JSON.stringify(body);
  }
  const response = await fetch(url(path), options);
  const data = await response.json().catch(() => null);
  if (!response.ok) throw new Error((data && data.error) || response.status + " " + response.statusText);
  return data;
}
function say(text) { $("message").textContent = text || ""; }

const state = { camera: "", fps: 0, happened: "", live: true, busy: false, control: true };
function showStatus() {
  const parts = [state.camera || "no camera", state.live ? state.fps.toFixed(0) + " fps" : "live view off"];
  if (state.happened) parts.push(state.happened);
  $("status").textContent = parts.join(" \u00b7 ");
}
// What happened, in plain words, with the time.
function happened(text) {
  state.happened = text + " (" + new Date().toLocaleTimeString() + ")";
  showStatus();
}
// What a camera event means to the person at the camera.
const EVENT_WORDS = { "0xC00A": "Camera error" };

// Busy: while any page's capture runs, every page shows it and none can
// start another, so rapid clicks or key presses do not queue pictures.
function showBusy() {
  $("busy").hidden = !state.busy;
  $("capture").disabled = state.busy || !state.control;
  document.body.classList.toggle("busy", state.busy);
}
let countdownTimer = null;
function showCountdown(seconds) {
  clearInterval(countdownTimer);
  const box = $("countdown");
  if (!(seconds > 0)) { box.classList.remove("shown"); return; }
  let left = seconds;
  box.textContent = left;
  box.classList.add("shown");
  countdownTimer = setInterval(() => {
    left -= 1;
    if (left > 0) { box.textContent = left; } else { clearInterval(countdownTimer); box.classList.remove("shown"); }
  }, 1000);
}
let reviewTimer = null;
function review(shot) {
  const box = $("review");
  box.firstChild.src = url(shot.url + "?v=" + shot.time);
  box.dataset.name = shot.name;
  box.classList.add("shown");
  clearTimeout(reviewTimer);
  reviewTimer = setTimeout(() => box.classList.remove("shown"), REVIEW_MS);
}
$("review").onclick = () => { clearTimeout(reviewTimer); $("review").classList.remove("shown"); };
$("detailsToggle").onchange = () => document.body.classList.toggle("details", $("detailsToggle").checked);

function startLive() { $("live").src = url("/api/live?t=" + Date.now()); state.live = true; $("liveToggle").textContent = "Stop live view"; }
function stopLive() { $("live").removeAttribute("src"); state.live = false; $("liveToggle").textContent = "Start live view"; }
$("liveToggle").onclick = () => { state.live ? stopLive() : startLive(); showStatus(); };

// Settings panel: one row per property, built from its descriptor.
function propRow(p) {
  const row = document.createElement("div");
  row.className = "prop";
  row.dataset.code = p.code;
  const name = document.createElement("div");
  name.className = "name";
  name.innerHTML = "<span></span><small class=\"details\"></small>";
  name.firstChild.textContent = p.name || p.code;
  name.lastChild.textContent = p.code + " " + p.type;
  row.appendChild(name);
  let control;
  if (p.readonly) {
    control = document.createElement("span");
    control.className = "ro";
    control.textContent = p.current.label;
  } else if (p.form === "enumeration") {
    control = document.createElement("select");
    for (const c of p.choices) {
      const option = document.createElement("option");
      option.value = c.index;
      option.textContent = c.label;
      option.selected = c.value === p.current.value;
      control.appendChild(option);
    }
    control.onchange = () => setProp(p.code, { index: Number(control.value) });
  } else if (p.form === "range") {
    control = document.createElement("span");
    const slider = document.createElement("input");
    slider.type = "range";
    slider.min = p.minimum.value; slider.max = p.maximum.value; slider.step = p.step.value || 1;
    slider.value = p.current.value;
    const out = document.createElement("output");
    out.textContent = " " + p.current.label;
    slider.oninput = () => { out.textContent = " " + slider.value; };
    slider.onchange = () => setProp(p.code, { value: Number(slider.value) });
    control.append(slider, out);
  } else {
    control = document.createElement("input");
    control.type = "text";
    control.value = p.current.hex;
    control.onchange = () => setProp(p.code, { value: control.value });
  }
  control.dataset.code = p.code;
  if (!state.control) for (const c of [control, ...control.querySelectorAll("input")]) c.disabled = true;
  row.appendChild(control);
  return row;
}
function showProp(p) {
  const old = document.querySelector('.prop[data-code="' + p.code + '"]');
  const row = propRow(p);
  if (old) old.replaceWith(row); else $("settings").appendChild(row);
  if (p.code === "0xD02A") {
    $("zoomBox").hidden = p.readonly || p.form !== "range";
    $("zoom").disabled = !state.control;
    const zoom = $("zoom");
    zoom.min = p.minimum ? p.minimum.value : 0; zoom.max = p.maximum ? p.maximum.value : 0;
    zoom.step = p.step ? p.step.value || 1 : 1; zoom.value = p.current.value;
    $("zoomValue").textContent = p.current.value;
  }
}
async function setProp(code, body) {
  try {
    const p = await call("PUT", "/api/config/" + code, body);
    showProp(p);
    say("");
    happened("Setting changed: " + (p.name || p.code) + " " + p.current.label);
  } catch (e) {
    say(e.message);
    refreshProp(code);
  }
}
async function refreshProp(code) {
  try { showProp(await call("GET", "/api/config/" + code)); } catch (e) { say(e.message); }
}
$("zoom").oninput = () => { $("zoomValue").textContent = $("zoom").value; };
$("zoom").onchange = () => setProp("0xD02A", { value: Number($("zoom").value) });

// Gallery.
function addShot(shot) {
  $("empty").hidden = true;
  const old = document.querySelector('#gallery figure[data-name="' + CSS.escape(shot.name) + '"]');
  const figure = document.createElement("figure");
  figure.dataset.name = shot.name;
  const img = document.createElement("img");
  img.loading = "lazy";
  img.alt = shot.name;
  img.src = url(shot.url + "?v=" + shot.time);
  img.onclick = () => { $("lightbox").firstChild.src = img.src; $("lightbox").style.display = "flex"; };
  const caption = document.createElement("figcaption");
  const name = document.createElement("span");
  name.textContent = shot.name;
  const link = document.createElement("a");
  link.href = url(shot.url + "?download=1");
  link.textContent = "download";
  link.setAttribute("download", shot.name.split("/").pop());
  caption.append(name, link);
  figure.append(img, caption);
  if (old) old.remove();
  $("gallery").prepend(figure);
}
$("lightbox").onclick = () => { $("lightbox").style.display = "none"; };

async function capture() {
  if (state.busy || !state.control) return;
  state.busy = true;
  showBusy();
  say("");
  try {
    const shot = await call("POST", "/api/capture", {});
    addShot(shot);
    say("Picture saved: " + shot.name);
  } catch (e) {
    say(e.message);
    happened("Picture not taken");
    state.busy = false;
    showBusy();
  }
}
$("capture").onclick = capture;
// Space or Enter captures, so a foot pedal or a remote that types a key
// works; not while typing into a setting or with a control focused.
document.addEventListener("keydown", (e) => {
  if (e.key !== " " && e.key !== "Enter") return;
  if (e.target.closest && e.target.closest("input, select, textarea, button, a")) return;
  e.preventDefault();
  if (!e.repeat) capture();
});

function listen() {
  const events = new EventSource(url("/api/events"));
  events.addEventListener("shot", (e) => {
    const shot = JSON.parse(e.data);
    addShot(shot);
    review(shot);
    happened("Picture saved");
  });
  events.addEventListener("config", (e) => refreshProp(JSON.parse(e.data).code));
  events.addEventListener("busy", (e) => {
    const d = JSON.parse(e.data);
    state.busy = d.busy;
    showBusy();
    showCountdown(d.busy ? d.countdown : 0);
  });
  events.addEventListener("camera", (e) => {
    const d = JSON.parse(e.data);
    const words = EVENT_WORDS[d.code];
    if (words) happened(words);
  });
}

async function poll() {
  try {
    const s = await call("GET", "/api/status");
    state.camera = s.camera;
    state.fps = s.live.fps;
    state.busy = s.busy;
    showBusy();
    showStatus();
  } catch (e) {
    $("status").textContent = "server unreachable";
  }
  setTimeout(poll, 1000);
}

(async () => {
  try {
    const s = await call("GET", "/api/status");
    state.control = s.control;
    $("capture").hidden = !s.control;
    $("viewOnly").hidden = s.control;
  } catch (e) {
    say(e.message);
  }
  startLive();
  listen();
  poll();
  try {
    for (const p of await call("GET", "/api/config")) showProp(p);
    for (const shot of await call("GET", "/api/shots")) addShot(shot);
  } catch (e) {
    say(e.message);
  }
})();
</script>
</body>
</html>
)KQPAGE";

}  // namespace

const char* ServePage() { return kPage; }

}  // namespace kqcam
