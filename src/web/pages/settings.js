// The Settings tab (admins): every settings file's keys with their values, defaults and help; one key saved at a
// time, the program checking it as quillmere --check does. A secret's value never comes here: only whether it is set.
'use strict';

function settingInput(key) {
  let input;
  if (key.kind === 'choice') {
    input = document.createElement('select');
    for (const choice of key.choices) {
      const option = document.createElement('option');
      option.value = option.textContent = choice;
      input.appendChild(option);
    }
    // A value the file holds that is no choice is shown as it is, so that saving is a decision.
    if (!key.choices.includes(key.value)) {
      const option = document.createElement('option');
      option.value = option.textContent = key.value;
      input.appendChild(option);
    }
    input.value = key.value;
  } else {
    input = document.createElement('input');
    input.maxLength = 255;
    if (key.secret) {
      input.type = 'password';
      input.autocomplete = 'new-password';
      input.placeholder = key.set ? 'set — type to replace' : 'not set';
    } else {
      input.value = key.set ? key.value : key.default;
    }
  }
  input.name = key.name;
  return input;
}

function settingRow(file, key) {
  const row = document.createElement('div');
  row.className = 'setting';
  row.dataset.file = file.file;
  row.dataset.key = key.name;
  const title = document.createElement('label');
  const name = document.createElement('strong');
  name.textContent = key.name;
  title.appendChild(name);
  const input = settingInput(key);
  title.appendChild(input);
  const save = document.createElement('button');
  save.type = 'button';
  save.textContent = 'Save';
  const help = document.createElement('p');
  help.className = 'small';
  let range = '';
  if (key.kind === 'whole' || key.kind === 'number') range = ' (' + key.min + ' to ' + key.max + (key.unit ? ' ' + key.unit : '') + ')';
  help.textContent = key.help + range + (key.secret ? ' — ' + (key.set ? 'set' : 'not set')
      : ' — default: ' + (key.default === '' ? '(empty)' : key.default)) +
      (key.nextStart ? ' — takes effect at the next start' : '');
  const message = document.createElement('p');
  message.className = 'message';
  message.setAttribute('role', 'status');
  save.addEventListener('click', async () => {
    message.textContent = '…';
    const { status, data } = await api('/api/settings', { body: { file: file.file, key: key.name, value: input.value } });
    message.classList.toggle('ok', status === 200);
    message.textContent = status === 200 ? 'Saved' + (data.nextStart ? ': takes effect at the next start' : ': in effect now')
        : (data.error || ('refused (' + status + ')'));
    if (status === 200 && key.secret) { input.value = ''; input.placeholder = 'set — type to replace'; }
  });
  const line = document.createElement('div');
  line.className = 'setting-line';
  line.append(title, save);
  row.append(line, help, message);
  return row;
}

async function loadSettings() {
  const { status, data } = await api('/api/settings');
  const files = $('settings-files');
  files.replaceChildren();
  $('settings-message').textContent = status === 200 ? '' : (data.error || ('refused (' + status + ')'));
  if (status !== 200) return;
  for (const file of data.files || []) {
    const box = document.createElement('details');
    box.className = 'tile settings-file';
    const summary = document.createElement('summary');
    summary.textContent = file.file;
    const about = document.createElement('p');
    about.className = 'small';
    about.textContent = file.about + ' (' + file.path + ')';
    box.append(summary, about);
    for (const key of file.keys) box.appendChild(settingRow(file, key));
    files.appendChild(box);
  }
}
