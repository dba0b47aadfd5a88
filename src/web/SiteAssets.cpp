#include "web/SiteAssets.h"

namespace kestrix::web {

const char* const kSiteStyle = R"CSS(
:root{--bg:#f3f4f6;--card:#fff;--ink:#1c222b;--dim:#5d6675;--line:#d8dce2;--accent:#0a58a8;
--bad:#b3261e;--chip:#eef0f3}
@media (prefers-color-scheme:dark){:root{--bg:#13161b;--card:#1d2229;--ink:#e5e8ec;
--dim:#9aa3b1;--line:#303742;--accent:#72b4ff;--bad:#ff8a80;--chip:#262c35}}
*{box-sizing:border-box}
body{margin:0;font:15px/1.4 system-ui,-apple-system,"Segoe UI",sans-serif;background:var(--bg);
color:var(--ink)}
a{color:var(--accent)}
header{display:flex;flex-wrap:wrap;align-items:baseline;gap:.2em 1em;padding:.5em 1em;
background:var(--card);border-bottom:1px solid var(--line)}
header h1{font-size:1.15em;margin:0;overflow-wrap:anywhere}
.dim,.summary{color:var(--dim);font-size:.88em}
main{padding:.7em 1em 2em}
h2{font-size:.95em;margin:1.1em 0 .45em;color:var(--dim);overflow-wrap:anywhere}
details{margin:.3em 0}
details ul{columns:14em;font-size:.88em;padding-left:1.2em}
.grid{list-style:none;margin:0;padding:0;display:grid;gap:.6em;
grid-template-columns:repeat(auto-fill,minmax(158px,1fr))}
.card{background:var(--card);border:1px solid var(--line);border-radius:6px;overflow:hidden;
font-size:.84em;min-width:0}
.card img,.card .none{display:block;width:100%;aspect-ratio:4/3;object-fit:contain;
background:#000}
.card .none{display:flex;align-items:center;justify-content:center;color:#aaa}
.card div{padding:0 .5em}
.card .name{font-weight:600;padding-top:.35em;overflow-wrap:anywhere}
.card .url{color:var(--dim);white-space:nowrap;overflow:hidden;text-overflow:ellipsis;
padding-bottom:.4em}
.error,.s-error{color:var(--bad)}
.pages{display:flex;flex-wrap:wrap;gap:1em;margin:1.2em 0}
.browse{display:grid;grid-template-columns:minmax(170px,230px) minmax(0,1fr);gap:1em;
align-items:start}
#days{background:var(--card);border:1px solid var(--line);border-radius:6px;padding:.4em .6em;
max-height:85vh;overflow:auto}
.month h3{font-size:.82em;margin:.5em 0 .3em;color:var(--dim)}
.month ol{list-style:none;margin:0;padding:0;display:flex;flex-wrap:wrap;gap:4px}
.month button{font:inherit;font-size:.9em;min-width:2.9em;padding:2px 3px;border-radius:4px;
border:1px solid var(--line);background:var(--chip);color:var(--ink);cursor:pointer}
.month button small{display:block;font-size:.72em;color:var(--dim)}
.month button[aria-pressed=true]{background:var(--accent);border-color:var(--accent);color:#fff}
.month button[aria-pressed=true] small{color:#fff}
.modes{display:flex;flex-wrap:wrap;gap:.5em;align-items:center;margin-bottom:.5em}
.modes form{display:flex;gap:.4em;align-items:center}
button,select,input{font:inherit}
.controls button,.modes button{padding:.25em .7em;border-radius:4px;border:1px solid var(--line);
background:var(--chip);color:var(--ink);cursor:pointer}
.controls button[aria-pressed=true],.modes button[aria-pressed=true]{background:var(--accent);
color:#fff;border-color:var(--accent)}
#stage{background:#000;border-radius:6px;overflow:hidden;touch-action:pan-y;user-select:none;
-webkit-user-select:none;cursor:ew-resize}
#shown{display:block;width:100%;height:auto;max-height:68vh;object-fit:contain;
pointer-events:none}
.controls{display:flex;flex-wrap:wrap;align-items:center;gap:.45em;margin:.45em 0}
#when{font-variant-numeric:tabular-nums;font-weight:600}
#count{font-variant-numeric:tabular-nums}
#scrub{width:100%;margin:.2em 0}
#strip{position:relative;display:flex;gap:3px;overflow-x:auto;padding:3px 0 6px}
#strip button{flex:0 0 auto;padding:0;border:2px solid transparent;border-radius:3px;
background:none;color:var(--dim);cursor:pointer}
#strip button.current{border-color:var(--accent);color:var(--ink)}
#strip img{display:block;width:80px;height:60px;object-fit:cover;background:#000}
#strip span{display:block;font-size:.7em;text-align:center}
#timelapse video{display:block;width:100%;max-height:60vh;background:#000;border-radius:6px}
#message:empty{display:none}
@media (max-width:700px){.browse{grid-template-columns:minmax(0,1fr)}#days{order:2;
max-height:40vh}main{padding:.5em .5em 2em}header{padding:.5em}}
)CSS";

// Builds the page with DOM calls and textContent only: names come from link files and cameras.
const char* const kBrowseScript = R"JS('use strict';
(() => {
  const $ = (id) => document.getElementById(id);
  const dir = document.body.dataset.dir;
  const encodePath = (path) => path.split('/').map(encodeURIComponent).join('/');
  const pictureUrl = (name) =>
    '/pictures/' + (dir ? encodePath(dir) + '/' : '') + encodeURIComponent(name);
  const shown = $('shown'), when = $('when'), count = $('count'), scrub = $('scrub');
  const strip = $('strip'), original = $('original'), play = $('play'), speed = $('speed');
  const stage = $('stage'), message = $('message'), dayList = $('dayList');
  const movie = $('movie'), timelapse = $('timelapse'), atInput = $('at'), dayMode = $('dayMode');
  const download = $('download');
  const state = {mode: 'day', day: '', at: '', days: [], names: [], index: 0,
                 playing: false, timer: 0, asked: 0, drawn: 0, urlTimer: 0};

  function api(path, params) {
    const query = new URLSearchParams(Object.assign({link: dir}, params));
    return fetch(path + '?' + query, {credentials: 'same-origin'}).then((r) => {
      if (!r.ok) throw new Error(r.status + ' ' + r.statusText);
      return r.json();
    });
  }
  const dayText = (d) => d.slice(0, 4) + '-' + d.slice(4, 6) + '-' + d.slice(6, 8);
  const dayAfter = (d) =>
    new Date(Date.UTC(+d.slice(0, 4), +d.slice(4, 6) - 1, +d.slice(6, 8) + 1))
      .toISOString().slice(0, 10);
  const timeText = (name) =>
    name.slice(9, 11) + ':' + name.slice(11, 13) + ':' + name.slice(13, 15);
  function localText(name) {
    const t = new Date(Date.UTC(+name.slice(0, 4), +name.slice(4, 6) - 1, +name.slice(6, 8),
                                +name.slice(9, 11), +name.slice(11, 13), +name.slice(13, 15)));
    return isNaN(t) ? '' : t.toLocaleString() + ' here';
  }
  function say(text) { message.textContent = text; }

  // The server makes the movie when the link is followed: the day's pictures, or one picture a
  // day at the chosen time over every day of the link.
  function offerDownload(first, last, at, title) {
    download.hidden = !state.names.length;
    const params = {link: dir, from: dayText(first), to: dayAfter(last)};
    if (at) params.at = at;
    download.href = '/api/timelapse?' + new URLSearchParams(params);
    download.title = title;
  }

  function rememberInAddress() {
    clearTimeout(state.urlTimer);
    state.urlTimer = setTimeout(() => {
      const q = new URLSearchParams({dir});
      const name = state.names[state.index] || '';
      if (state.mode === 'day') {
        q.set('day', state.day);
        if (name) q.set('t', name.slice(9, 15));
      } else {
        q.set('at', state.at);
      }
      history.replaceState(null, '', '?' + q);
    }, 300);
  }

  function show(i, fromScrubber) {
    const names = state.names;
    if (!names.length) return;
    i = Math.max(0, Math.min(names.length - 1, i));
    state.index = i;
    const name = names[i];
    when.textContent = dayText(name) + ' ' + timeText(name) + ' UTC';
    when.title = localText(name);
    count.textContent = (i + 1) + ' / ' + names.length;
    if (!fromScrubber) scrub.value = String(i);
    const url = pictureUrl(name);
    original.href = url;
    const asked = ++state.asked;
    const picture = new Image();
    const drawn = () => {
      if (asked > state.drawn) {
        state.drawn = asked;
        shown.src = url;
        shown.alt = when.textContent;
      }
      if (state.playing && asked === state.asked) {
        clearTimeout(state.timer);
        state.timer = setTimeout(step, 1000 / Number(speed.value));
      }
    };
    picture.onload = drawn;
    picture.onerror = drawn;
    picture.src = url;
    for (const next of [i + 1, i + 2]) if (next < names.length) new Image().src = pictureUrl(names[next]);
    const old = strip.querySelector('.current');
    if (old) old.classList.remove('current');
    const current = strip.children[i];
    if (current) {
      current.classList.add('current');
      // Sideways only: scrolling it into view would move the whole page at every step.
      strip.scrollLeft = current.offsetLeft - (strip.clientWidth - current.offsetWidth) / 2;
    }
    rememberInAddress();
  }

  function step() {
    if (!state.playing) return;
    if (state.index >= state.names.length - 1) { setPlaying(false); return; }
    show(state.index + 1);
  }
  function setPlaying(on) {
    state.playing = on && state.names.length > 1;
    play.textContent = state.playing ? 'Pause' : 'Play';
    play.setAttribute('aria-pressed', String(state.playing));
    clearTimeout(state.timer);
    if (state.playing) {
      if (state.index >= state.names.length - 1) show(0); else step();
    }
  }

  function fillStrip(labels, titles) {
    strip.textContent = '';
    const all = document.createDocumentFragment();
    state.names.forEach((name, i) => {
      const button = document.createElement('button');
      button.type = 'button';
      button.dataset.i = String(i);
      button.title = titles[i];
      const thumb = document.createElement('img');
      thumb.loading = 'lazy';
      thumb.alt = '';
      thumb.width = 80;
      thumb.height = 60;
      thumb.src = pictureUrl(name) + '?thumb';
      const label = document.createElement('span');
      label.textContent = labels[i];
      button.append(thumb, label);
      all.append(button);
    });
    strip.append(all);
    scrub.max = String(Math.max(0, state.names.length - 1));
    scrub.disabled = state.names.length < 2;
  }

  function markDay() {
    for (const b of dayList.querySelectorAll('button'))
      b.setAttribute('aria-pressed', String(state.mode === 'day' && b.dataset.day === state.day));
    dayMode.setAttribute('aria-pressed', String(state.mode === 'day'));
  }

  function fillDays() {
    dayList.textContent = '';
    let month = '', list = null;
    for (const d of state.days.slice().reverse()) {
      if (d.day.slice(0, 6) !== month) {
        month = d.day.slice(0, 6);
        const section = document.createElement('section');
        section.className = 'month';
        const heading = document.createElement('h3');
        const first = new Date(Date.UTC(+month.slice(0, 4), +month.slice(4, 6) - 1, 1));
        heading.textContent = isNaN(first) ? month :
          first.toLocaleString(undefined, {month: 'long', year: 'numeric', timeZone: 'UTC'});
        list = document.createElement('ol');
        section.append(heading, list);
        dayList.append(section);
      }
      const item = document.createElement('li');
      const button = document.createElement('button');
      button.type = 'button';
      button.dataset.day = d.day;
      button.title = dayText(d.day) + ': ' + d.pictures + ' pictures' +
                     (d.timelapse ? ', timelapse' : '');
      const counted = document.createElement('small');
      counted.textContent = d.pictures + (d.timelapse ? ' \u25B6' : '');
      button.append(d.day.slice(6, 8), counted);
      item.append(button);
      list.append(item);
    }
  }

  async function loadDay(day, wanted) {
    setPlaying(false);
    say('');
    const data = await api('/api/day', {day});
    state.mode = 'day';
    state.day = day;
    state.names = data.pictures;
    fillStrip(state.names.map((n) => timeText(n).slice(0, 5)),
              state.names.map((n) => timeText(n) + ' UTC'));
    if (data.timelapse) {
      movie.src = data.timelapse;
      timelapse.hidden = false;
    } else {
      timelapse.hidden = true;
      movie.removeAttribute('src');
    }
    offerDownload(day, day, '', 'MP4 of the ' + state.names.length + ' pictures of ' +
                  dayText(day));
    markDay();
    let i = day === (state.days[state.days.length - 1] || {}).day ? state.names.length - 1 : 0;
    if (wanted) {
      const at = state.names.findIndex((n) => n.slice(9, 15) >= wanted);
      i = at < 0 ? state.names.length - 1 : at;
    }
    if (!state.names.length) say('No pictures on ' + dayText(day) + '.');
    show(i);
  }

  async function loadHour(at) {
    setPlaying(false);
    say('');
    const data = await api('/api/hour', {at});
    state.mode = 'hour';
    state.at = data.at.slice(0, 5);
    atInput.value = state.at;
    state.names = data.pictures;
    fillStrip(state.names.map((n) => n.slice(4, 6) + '-' + n.slice(6, 8)),
              state.names.map((n) => dayText(n) + ' ' + timeText(n) + ' UTC'));
    timelapse.hidden = true;
    movie.removeAttribute('src');
    const days = state.days;
    if (days.length)
      offerDownload(days[0].day, days[days.length - 1].day, data.at,
                    'MP4 of one picture a day at ' + state.at + ' UTC');
    else download.hidden = true;
    markDay();
    show(state.names.length - 1);
  }

  const failed = (e) => say('Could not load: ' + e.message);

  document.addEventListener('keydown', (e) => {
    const t = e.target;
    if (e.altKey || e.ctrlKey || e.metaKey || t === scrub || t.closest('input, select, textarea'))
      return;
    const last = state.names.length - 1;
    const moves = {ArrowRight: 1, ArrowLeft: -1, PageDown: 10, PageUp: -10};
    if (e.key in moves) show(state.index + (e.shiftKey ? 10 : 1) * moves[e.key]);
    else if (e.key === 'Home') show(0);
    else if (e.key === 'End') show(last);
    else if (e.key === ' ' && t.tagName !== 'BUTTON') { setPlaying(!state.playing); e.preventDefault(); return; }
    else return;
    setPlaying(false);
    e.preventDefault();
  });
  scrub.addEventListener('input', () => { setPlaying(false); show(Number(scrub.value), true); });
  play.addEventListener('click', () => setPlaying(!state.playing));
  $('prev').addEventListener('click', () => { setPlaying(false); show(state.index - 1); });
  $('next').addEventListener('click', () => { setPlaying(false); show(state.index + 1); });
  strip.addEventListener('click', (e) => {
    const button = e.target.closest('button');
    if (button) { setPlaying(false); show(Number(button.dataset.i)); }
  });
  dayList.addEventListener('click', (e) => {
    const button = e.target.closest('button');
    if (button) loadDay(button.dataset.day).catch(failed);
  });
  dayMode.addEventListener('click', () => {
    const newest = state.days.length ? state.days[state.days.length - 1].day : '';
    const name = state.names[state.index] || '';
    if (state.mode === 'hour' && name) loadDay(name.slice(0, 8), name.slice(9, 15)).catch(failed);
    else if (newest) loadDay(state.day || newest).catch(failed);
  });
  $('hourForm').addEventListener('submit', (e) => {
    e.preventDefault();
    if (atInput.value) loadHour(atInput.value).catch(failed);
  });

  let drag = null;
  stage.addEventListener('pointerdown', (e) => {
    if (e.button !== 0 || !state.names.length) return;
    drag = {x: e.clientX, index: state.index};
    stage.setPointerCapture(e.pointerId);
    setPlaying(false);
    e.preventDefault();
  });
  stage.addEventListener('pointermove', (e) => {
    if (!drag) return;
    // Across the whole picture: up to 120 pictures, at least 4 pixels each.
    const perPicture = Math.max(4, stage.clientWidth / Math.min(state.names.length, 120));
    const i = drag.index + Math.round((e.clientX - drag.x) / perPicture);
    if (i !== state.index) show(i);
  });
  for (const end of ['pointerup', 'pointercancel']) stage.addEventListener(end, () => { drag = null; });

  const asked = new URLSearchParams(location.search);
  api('/api/days', {}).then((data) => {
    state.days = data.days;
    fillDays();
    if (!state.days.length) { say('No pictures yet.'); return null; }
    const newest = state.days[state.days.length - 1].day;
    const name = state.days.find((d) => d.day === asked.get('day')) ? asked.get('day') : newest;
    atInput.value = asked.get('at') || '12:00';
    if (asked.get('at')) return loadHour(asked.get('at'));
    return loadDay(name, asked.get('t') || '');
  }).catch(failed);
})();
)JS";

} // namespace kestrix::web
